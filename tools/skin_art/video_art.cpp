// The video page's pictures (the picture page shares most of them): its
// background, tool buttons, separators and the list items' thumbnail pieces.

#include "tools/skin_art/buttons.h"
#include "tools/skin_art/paint_kit.h"
#include "tools/skin_art/theme.h"
#include "tools/skin_art/tile_frames.h"

namespace {
// The page is the 316 x 532 area under the tab row: a tool row of 46 on top
// and the 47-pixel bottom bar of the play button.
constexpr QSize kPage(316, 532);
constexpr int kToolRow = 46;
constexpr int kBottomBar = 47;

void pageBackground(QPainter& painter, const QRectF& slice, int) {
    painter.fillRect(slice, theme::kWindow);
    painter.fillRect(QRectF(0, 0, slice.width(), kToolRow), theme::kPanel);
    QRectF bottom(0, slice.height() - kBottomBar, slice.width(), kBottomBar);
    painter.fillRect(bottom, theme::kPanel);
    painter.fillRect(QRectF(0, bottom.top(), slice.width(), 1), theme::kLine);
    painter.fillRect(QRectF(0, bottom.top() + 1, slice.width(), 1), QColor(255, 255, 255, 12));
}

// The thumbnail of a video whose own is not known yet: a film frame with
// sprocket holes and a play mark.
void unknownVideo(QPainter& painter, const QRectF& slice, int) {
    QLinearGradient shade(slice.topLeft(), slice.bottomLeft());
    shade.setColorAt(0.0, theme::kTile.lighter(115));
    shade.setColorAt(1.0, theme::kTile.darker(120));
    painter.setPen(Qt::NoPen);
    painter.setBrush(shade);
    painter.drawRoundedRect(slice, 3, 3);
    painter.setBrush(QColor(0, 0, 0, 90));
    for (qreal x = slice.left() + 4; x < slice.right() - 4; x += 8) {
        painter.drawRoundedRect(QRectF(x, slice.top() + 3, 4, 3), 1, 1);
        painter.drawRoundedRect(QRectF(x, slice.bottom() - 6, 4, 3), 1, 1);
    }
    painter.setBrush(QColor(0x5F, 0xC3, 0xF9, 200));
    painter.drawEllipse(slice.center(), 11, 11);
    glyph::play(painter, QRectF(slice.center().x() - 6, slice.center().y() - 7, 14, 14),
                theme::kText);
}

// Laid around a list item's 69 x 47 thumbnail; loaded whole, not cut into states.
void thumbnailFrame(QPainter& painter, const QRectF& slice, int) {
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(255, 255, 255, 60), 1.0));
    painter.drawRoundedRect(slice.adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
    painter.setPen(QPen(QColor(0, 0, 0, 110), 1.0));
    painter.drawRect(slice.adjusted(1.5, 1.5, -1.5, -1.5));
}
}  // namespace

QList<SkinPicture> videoPictures() {
    return {
        {"video/bg_video_play.png", kPage, 1, pageBackground},
        {"video/bg_video_frame.png", {69, 47}, 1, thumbnailFrame},
        {"video/img_video_other.png", {69, 47}, 1, unknownVideo},
        {"video/btn_clear.png",
         {56, 26},
         4,
         textButton(QT_TRANSLATE_NOOP("SkinArt", "清空"), Tone::Neutral)},
        {"video/btn_delete.png",
         {66, 26},
         4,
         textButton(QT_TRANSLATE_NOOP("SkinArt", "删除"), Tone::Neutral, glyph::trash)},
        {"video/btn_play.png",
         {66, 26},
         4,
         textButton(QT_TRANSLATE_NOOP("SkinArt", "播放"), Tone::Accent, glyph::play)},
        {"video/img_line.png", {313, 2}, 1, separator(Qt::Horizontal)},
        {"video/img_spacing.png", {2, 20}, 1, separator(Qt::Vertical)},
    };
}
