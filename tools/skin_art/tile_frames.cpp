#include "tools/skin_art/tile_frames.h"

#include "tools/skin_art/paint_kit.h"
#include "tools/skin_art/theme.h"

StatePainter tileFrame(qreal selectedWidth, qreal badgeRadius) {
    return [selectedWidth, badgeRadius](QPainter& painter, const QRectF& slice, int state) {
        painter.setBrush(Qt::NoBrush);
        if (state == kFrameNormal) {
            painter.setPen(QPen(QColor(255, 255, 255, 34), 1.0));
            painter.drawRoundedRect(slice.adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
            return;
        }
        const qreal inset = selectedWidth / 2;
        painter.setPen(QPen(theme::kAccent, selectedWidth));
        painter.drawRoundedRect(slice.adjusted(inset, inset, -inset, -inset), 4, 4);
        const qreal offset = selectedWidth + badgeRadius + 1;
        kit::selectedBadge(painter, QPointF(slice.right() - offset, slice.top() + offset),
                           badgeRadius);
    };
}

StatePainter separator(Qt::Orientation orientation) {
    return [orientation](QPainter& painter, const QRectF& slice, int) {
        kit::etchedLine(painter, slice, orientation);
    };
}
