// The preview's pictures: the stage behind the 640 x 480 view with its
// open-camera button, the player bar's buttons and the slider pieces that
// every slider of the program uses.

#include <QRadialGradient>

#include "tools/skin_art/buttons.h"
#include "tools/skin_art/paint_kit.h"
#include "tools/skin_art/theme.h"

namespace {
void stage(QPainter& painter, const QRectF& slice, int) {
    QRadialGradient light(QPointF(slice.center().x(), slice.height() * 0.45), slice.width() * 0.7);
    light.setColorAt(0.0, QColor(0x1E, 0x24, 0x2C));
    light.setColorAt(1.0, QColor(0x0C, 0x0E, 0x11));
    painter.fillRect(slice, light);
    // A faint camera above the open-camera button, which sits at (235, 290).
    glyph::camera(painter, QRectF(slice.center().x() - 60, 150, 120, 120),
                  QColor(255, 255, 255, 16));
}

void track(QPainter& painter, const QRectF& slice, int) {
    kit::pill(painter, slice.adjusted(0.5, 0.5, -0.5, -0.5), theme::kWell, theme::kLineLight);
}

void progress(QPainter& painter, const QRectF& slice, int) {
    QLinearGradient fill(slice.topLeft(), slice.topRight());
    fill.setColorAt(0.0, theme::kAccentDeep);
    fill.setColorAt(1.0, theme::kAccent);
    kit::pill(painter, slice, fill);
}

void handle(QPainter& painter, const QRectF& slice, int) {
    const QPointF centre = slice.center();
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 70));
    painter.drawEllipse(centre + QPointF(0, 1), 8.5, 8.5);
    painter.setPen(QPen(theme::kAccent, 2.0));
    painter.setBrush(theme::kText);
    painter.drawEllipse(centre, 7.5, 7.5);
    painter.setPen(Qt::NoPen);
    painter.setBrush(theme::kAccentDeep);
    painter.drawEllipse(centre, 2.5, 2.5);
}
}  // namespace

QList<SkinPicture> videoPlayPictures() {
    using glyph::camera, glyph::numbered, glyph::struck;
    return {
        {"video_play/bg_video_view.png", {640, 480}, 1, stage},
        {"video_play/btn_open_camera.png",
         {170, 44},
         4,
         textButton(QT_TRANSLATE_NOOP("SkinArt", "打开摄像头"), Tone::Accent, camera)},
        {"video_play/btn_open_camera1.png", {40, 28}, 4, iconButton(numbered(camera, 1))},
        {"video_play/btn_open_camera2.png", {40, 28}, 4, iconButton(numbered(camera, 2))},
        {"video_play/btn_close_camera1.png",
         {40, 28},
         4,
         iconButton(numbered(struck(camera), 1), Tone::Accent)},
        {"video_play/btn_close_camera2.png",
         {40, 28},
         4,
         iconButton(numbered(struck(camera), 2), Tone::Accent)},
        {"video_play/btn_volume_open.png", {28, 28}, 4, iconButton(glyph::speaker)},
        {"video_play/btn_volume_muse.png", {28, 28}, 4, iconButton(glyph::speakerMuted)},
        {"video_play/bg_video_bar.png", {100, 8}, 1, track},
        {"video_play/img_video_bar_progress.png", {100, 8}, 1, progress},
        {"video_play/img_video_con.png", {20, 20}, 1, handle},
    };
}
