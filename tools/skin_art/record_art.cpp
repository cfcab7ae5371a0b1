// The record page's and the recording preview dialog's buttons, and the
// message box's OK and cancel buttons, which live in the same folder.

#include "tools/skin_art/buttons.h"

QList<SkinPicture> recordPictures() {
    return {
        {"record/btn_record.png", {120, 34}, 4, textButton("开始录制", Tone::Danger, glyph::dot)},
        {"record/btn_stoprecord.png",
         {120, 34},
         4,
         textButton("停止录制", Tone::Neutral, glyph::stop)},
        {"record/btn_openfilepos.png",
         {124, 30},
         4,
         textButton("打开文件位置", Tone::Neutral, glyph::folder)},
        {"record/btn_del.png", {70, 30}, 4, textButton("删除", Tone::Neutral, glyph::trash)},
        {"record/btn_save.png", {72, 30}, 4, textButton("保存", Tone::Accent)},
        {"record/btn_saveas.png", {80, 30}, 4, textButton("另存为", Tone::Neutral)},
        {"record/btn_addvideolist.png",
         {112, 30},
         4,
         textButton("添加到列表", Tone::Neutral, glyph::plus)},
        {"record/btn_close.png", {72, 30}, 4, textButton("关闭", Tone::Neutral)},
        {"record/btn_ok.png", {72, 28}, 4, textButton("确定", Tone::Accent)},
        {"record/btn_cancel.png", {72, 28}, 4, textButton("取消", Tone::Neutral)},
        {"record/btn_startplay.png", {32, 32}, 4, iconButton(glyph::play, Tone::Accent)},
        {"record/btn_pause.png", {32, 32}, 4, iconButton(glyph::pause, Tone::Accent)},
    };
}
