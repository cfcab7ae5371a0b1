// The effect page's pictures: its four sub-tabs, the preset and pendant tile
// frame, the buttons of the selected strip and of the caption editor, and the
// nine beautify preset icons (face_presets.cpp).

#include <QPainterPath>

#include "tools/skin_art/buttons.h"
#include "tools/skin_art/face_presets.h"
#include "tools/skin_art/paint_kit.h"
#include "tools/skin_art/theme.h"
#include "tools/skin_art/tile_frames.h"

namespace {
// The small close disc on a selected-strip tile's corner; the tile shows
// only its hover and pressed states.
void closeDisc(QPainter& painter, const QRectF& slice, int state) {
    const QColor fills[] = {QColor(0x4A, 0x53, 0x5E), theme::kDanger, QColor(0xA3, 0x30, 0x3A),
                            theme::kDisabledFill};
    const QColor inks[] = {theme::kTextMuted, theme::kText, theme::kText, theme::kTextDisabled};
    painter.setPen(QPen(QColor(0, 0, 0, 90), 1.0));
    painter.setBrush(fills[state]);
    painter.drawEllipse(slice.adjusted(0.5, 0.5, -0.5, -0.5));
    glyph::cross(painter, slice.adjusted(2, 2, -2, -2), inks[state]);
}

// A frame around the colour button's swatch: the button fills (4, 4, 22, 22)
// with its colour first, so that square stays transparent here.
void swatchFrame(QPainter& painter, const QRectF& slice, int state) {
    const FaceLook look = faceLook(Tone::Neutral, state);
    const QRectF window(slice.left() + 4, slice.top() + 4, 22, 22);
    QPainterPath ring;
    ring.addRoundedRect(slice.adjusted(0.5, 0.5, -0.5, -0.5), 5, 5);
    ring.addRect(window);
    ring.setFillRule(Qt::OddEvenFill);
    painter.setPen(QPen(look.border, 1.0));
    painter.setBrush(look.fill);
    painter.drawPath(ring);
    painter.setPen(QPen(theme::kLine, 1.0));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(window.adjusted(-0.5, -0.5, 0.5, 0.5));
}
}  // namespace

QList<SkinPicture> effectPictures() {
    QList<SkinPicture> pictures = {
        // Four tabs share the page's 315 pixels.
        {"effect/btn_prettify.png", {78, 34}, 4, tabButton(QT_TRANSLATE_NOOP("SkinArt", "美颜"))},
        {"effect/btn_pendant.png", {78, 34}, 4, tabButton(QT_TRANSLATE_NOOP("SkinArt", "挂件"))},
        {"effect/btn_captions.png", {78, 34}, 4, tabButton(QT_TRANSLATE_NOOP("SkinArt", "字幕"))},
        {"effect/btn_background.png", {78, 34}, 4, tabButton(QT_TRANSLATE_NOOP("SkinArt", "背景"))},
        {"effect/btn_choose_picture.png",
         {84, 26},
         4,
         textButton(QT_TRANSLATE_NOOP("SkinArt", "选择图片"), Tone::Neutral)},
        {"effect/bg_pretiify_frame.png", {61, 80}, 2, tileFrame(2, 6)},
        {"effect/btn_add.png",
         {68, 26},
         4,
         textButton(QT_TRANSLATE_NOOP("SkinArt", "添加"), Tone::Neutral, glyph::plus)},
        {"effect/btn_clear.png",
         {60, 24},
         4,
         textButton(QT_TRANSLATE_NOOP("SkinArt", "清空"), Tone::Neutral)},
        {"effect/btn_close.png", {14, 14}, 4, closeDisc},
        {"effect/btn_choose_color.png", {30, 30}, 4, swatchFrame},
        {"effect/btn_open_captions.png",
         {112, 32},
         4,
         textButton(QT_TRANSLATE_NOOP("SkinArt", "应用字幕"), Tone::Accent)},
    };
    return pictures + presetIcons();
}
