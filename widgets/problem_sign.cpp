#include "widgets/problem_sign.h"

#include <QPainter>

namespace {
const QColor kSignColour(0xE5, 0x39, 0x35);
}  // namespace

void ProblemSign::draw(QPainter& painter, const QPointF& centre) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QRectF disc(0, 0, kDiameter, kDiameter);
    disc.moveCenter(centre);
    painter.setPen(QPen(Qt::white, 1));
    painter.setBrush(kSignColour);
    painter.drawEllipse(disc);
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(kDiameter - 4);
    painter.setFont(font);
    painter.drawText(disc, Qt::AlignCenter, QStringLiteral("!"));
    painter.restore();
}
