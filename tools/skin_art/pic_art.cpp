// The picture page's tile frame: two 80 x 80 states, drawn scaled into each
// picture tile, whose picture is inset by 4 pixels.

#include "tools/skin_art/tile_frames.h"

QList<SkinPicture> picPictures() {
    return {
        {"pic/bg_pic_frame.png", {80, 80}, 2, tileFrame(3, 7)},
    };
}
