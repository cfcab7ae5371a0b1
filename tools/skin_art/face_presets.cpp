#include "tools/skin_art/face_presets.h"

#include <QPainterPath>
#include <QRadialGradient>
#include <QTransform>

#include "base/video_frame.h"
#include "effects/skin_color_effect.h"

namespace {
// The presets in the effect page's order: the index is the filter's preset.
const char* const kPresetNames[] = {"自然美白", "深度美白", "自然美肤", "唯美", "清新",
                                    "亮度提升", "妖姬",     "暧昧",     "魅惑"};

// The part of the 100-unit drawing square that the icon shows, centred on the
// face; the effect page writes the preset's name under the icon itself.
const QRectF kIconSquare(10, 6, 80, 80);

const QColor kHair(58, 38, 30);
const QColor kSkin(232, 188, 158);

void paintBackdropAndBody(QPainter& painter) {
    QLinearGradient backdrop(0, 0, 0, 100);
    backdrop.setColorAt(0.0, QColor(170, 178, 192));
    backdrop.setColorAt(1.0, QColor(100, 110, 126));
    painter.fillRect(QRectF(-20, 0, 140, 100), backdrop);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kHair);
    painter.drawEllipse(QPointF(50, 46), 27, 31);
    QPainterPath shoulders;
    shoulders.moveTo(10, 100);
    shoulders.cubicTo(12, 84, 26, 78, 42, 76);
    shoulders.lineTo(58, 76);
    shoulders.cubicTo(74, 78, 88, 84, 90, 100);
    painter.setBrush(QColor(66, 98, 142));
    painter.drawPath(shoulders);
    painter.setBrush(kSkin.darker(110));
    painter.drawRect(QRectF(43, 62, 14, 15));
}

void paintFace(QPainter& painter) {
    painter.setBrush(kSkin);
    painter.drawEllipse(QPointF(30, 49), 3.5, 5);
    painter.drawEllipse(QPointF(70, 49), 3.5, 5);
    QRadialGradient skin(QPointF(47, 42), 26);
    skin.setColorAt(0.0, kSkin.lighter(106));
    skin.setColorAt(1.0, kSkin.darker(106));
    painter.setBrush(skin);
    painter.drawEllipse(QPointF(50, 47), 20, 24);
    painter.setBrush(QColor(240, 140, 130, 110));
    painter.drawEllipse(QPointF(37, 55), 4.5, 3);
    painter.drawEllipse(QPointF(63, 55), 4.5, 3);
    QPainterPath fringe;
    fringe.moveTo(29, 47);
    fringe.cubicTo(26, 22, 44, 13, 56, 17);
    fringe.cubicTo(69, 20, 75, 32, 71, 47);
    fringe.cubicTo(66, 34, 58, 28, 48, 30);
    fringe.cubicTo(40, 31, 33, 37, 29, 47);
    painter.setBrush(kHair);
    painter.drawPath(fringe);
}

void paintFeatures(QPainter& painter) {
    for (qreal x : {41.0, 59.0}) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(40, 30, 28));
        painter.drawEllipse(QPointF(x, 47), 2.4, 2.8);
        painter.setBrush(Qt::white);
        painter.drawEllipse(QPointF(x + 0.8, 46.1), 0.8, 0.8);
        painter.setPen(QPen(kHair, 1.2, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(x - 4, 41), QPointF(x + 3, 40));
    }
    painter.setPen(QPen(QColor(200, 140, 115), 0.9, Qt::SolidLine, Qt::RoundCap));
    painter.drawPolyline(QPolygonF({QPointF(50, 49), QPointF(48.5, 54.5), QPointF(51, 55)}));
    QPainterPath smile;
    smile.moveTo(44, 60);
    smile.quadTo(50, 66.5, 56, 60);
    smile.quadTo(50, 62.5, 44, 60);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(200, 88, 94));
    painter.drawPath(smile);
}

// Where the drawing's 100-unit square lies in the picture.
QTransform drawingToPicture(const QSize& picture) {
    const qreal unit = picture.height() / 100.0;
    return QTransform::fromTranslate((picture.width() - picture.height()) / 2.0, 0)
        .scale(unit, unit);
}

// The sample face after preset `index` of the real beautify filter, cut to
// the icon's square around the face.
QImage beautified(int index) {
    QImage frame = sampleFace();
    SkinColorEffect effect;
    effect.setPreset(index);
    effect.Process(frame.bits(), static_cast<size_t>(frame.sizeInBytes()), frame.width(),
                   frame.height());
    // The filter may leave the unused fourth byte below 255; the picture is opaque.
    for (int y = 0; y < frame.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(frame.scanLine(y));
        for (int x = 0; x < frame.width(); ++x) {
            row[x] |= 0xFF000000u;
        }
    }
    return frame.copy(drawingToPicture(frame.size()).mapRect(kIconSquare).toRect());
}

StatePainter presetIcon(const QImage& face) {
    return [face](QPainter& painter, const QRectF& slice, int) { painter.drawImage(slice, face); };
}
}  // namespace

QImage sampleFace() {
    QImage frame(VideoFrame::kWidth, VideoFrame::kHeight, QImage::Format_RGB32);
    QPainter painter(&frame);
    painter.setRenderHint(QPainter::Antialiasing);
    // The face is drawn in a 100-unit square centred in the 4:3 picture.
    painter.setTransform(drawingToPicture(frame.size()));
    paintBackdropAndBody(painter);
    paintFace(painter);
    paintFeatures(painter);
    return frame;
}

QList<SkinPicture> presetIcons() {
    QList<SkinPicture> icons;
    int index = 0;
    for (const char* name : kPresetNames) {
        const QString text = QString::fromUtf8(name);
        icons.append({"effect/" + text + ".png", {55, 55}, 1, presetIcon(beautified(index))});
        ++index;
    }
    return icons;
}
