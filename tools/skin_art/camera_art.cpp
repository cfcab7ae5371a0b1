// The camera page's pictures: the button that opens a camera's own settings
// and the separator between the page's blocks.

#include "tools/skin_art/buttons.h"
#include "tools/skin_art/tile_frames.h"

QList<SkinPicture> cameraPictures() {
    return {
        {"camera/btn_set_param.png",
         {64, 26},
         4,
         textButton(QT_TRANSLATE_NOOP("SkinArt", "设置"), Tone::Neutral, glyph::sliders)},
        {"camera/img_line.png", {313, 2}, 1, separator(Qt::Horizontal)},
    };
}
