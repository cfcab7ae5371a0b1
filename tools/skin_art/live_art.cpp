// The live page's buttons: going live and ending it, and showing or hiding
// the stream key.

#include "tools/skin_art/buttons.h"

QList<SkinPicture> livePictures() {
    return {
        {"live/btn_start_live.png",
         {120, 34},
         4,
         textButton(QT_TRANSLATE_NOOP("SkinArt", "开始直播"), Tone::Danger, glyph::broadcast)},
        {"live/btn_stop_live.png",
         {120, 34},
         4,
         textButton(QT_TRANSLATE_NOOP("SkinArt", "停止直播"), Tone::Neutral, glyph::stop)},
        {"live/btn_show_key.png",
         {64, 26},
         4,
         textButton(QT_TRANSLATE_NOOP("SkinArt", "显示"), Tone::Neutral, glyph::eye)},
        {"live/btn_hide_key.png",
         {64, 26},
         4,
         textButton(QT_TRANSLATE_NOOP("SkinArt", "隐藏"), Tone::Neutral,
                    glyph::struck(glyph::eye))},
    };
}
