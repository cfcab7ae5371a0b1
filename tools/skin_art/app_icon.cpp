#include "tools/skin_art/app_icon.h"

#include <QPainter>

#include "tools/skin_art/glyphs.h"
#include "tools/skin_art/theme.h"

namespace {
constexpr int kSizes[] = {16, 24, 32, 48, 64, 256};

// An accent tile with a white camera and a red "live" dot; the same vector
// drawing at every size.
void paintIcon(QPainter& painter, const QRectF& box) {
    const qreal side = box.width();
    QRectF tile = box.adjusted(side * 0.03, side * 0.03, -side * 0.03, -side * 0.03);
    QLinearGradient fill(tile.topLeft(), tile.bottomRight());
    fill.setColorAt(0.0, theme::kAccent);
    fill.setColorAt(1.0, QColor(0x1F, 0x5F, 0xC8));
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawRoundedRect(tile, side * 0.22, side * 0.22);
    const qreal glyphSide = side * 0.66;
    glyph::camera(painter,
                  QRectF(box.center().x() - glyphSide / 2, box.center().y() - glyphSide / 2,
                         glyphSide, glyphSide),
                  theme::kText);
    painter.setBrush(QColor(0xFF, 0x4D, 0x5A));
    painter.drawEllipse(QPointF(box.center().x() - side * 0.05, box.center().y()), side * 0.09,
                        side * 0.09);
}
}  // namespace

QList<QImage> appIconImages() {
    QList<QImage> images;
    for (int size : kSizes) {
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        paintIcon(painter, QRectF(0, 0, size, size));
        painter.end();
        images << image.convertToFormat(QImage::Format_ARGB32);
    }
    return images;
}
