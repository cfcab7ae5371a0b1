#include "tools/skin_art/glyphs.h"

#include <QPainterPath>
#include <QPolygonF>

#include <algorithm>

#include "tools/skin_art/theme.h"

namespace {
// A point of the box in fractions of its size, so every glyph scales.
QPointF at(const QRectF& box, qreal x, qreal y) {
    return {box.left() + x * box.width(), box.top() + y * box.height()};
}

QRectF part(const QRectF& box, qreal x, qreal y, qreal width, qreal height) {
    return {at(box, x, y), QSizeF(width * box.width(), height * box.height())};
}

// Strokes are a tenth of the box, never thinner than one logical pixel.
void strokeWith(QPainter& painter, const QRectF& box, const QColor& ink, qreal share = 0.1) {
    QPen pen(ink, std::max(1.0, box.width() * share));
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
}

void fillWith(QPainter& painter, const QColor& ink) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(ink);
}

QPolygonF polygon(const QRectF& box, std::initializer_list<QPointF> fractions) {
    QPolygonF points;
    for (const QPointF& fraction : fractions) {
        points << at(box, fraction.x(), fraction.y());
    }
    return points;
}

QPainterPath star(QPointF centre, qreal radius) {
    QPainterPath path;
    const qreal waist = radius * 0.28;
    path.moveTo(centre.x(), centre.y() - radius);
    path.quadTo(centre.x() + waist, centre.y() - waist, centre.x() + radius, centre.y());
    path.quadTo(centre.x() + waist, centre.y() + waist, centre.x(), centre.y() + radius);
    path.quadTo(centre.x() - waist, centre.y() + waist, centre.x() - radius, centre.y());
    path.quadTo(centre.x() - waist, centre.y() - waist, centre.x(), centre.y() - radius);
    return path;
}
}  // namespace

namespace glyph {
void camera(QPainter& painter, const QRectF& box, const QColor& ink) {
    fillWith(painter, ink);
    QRectF body = part(box, 0.04, 0.26, 0.64, 0.48);
    painter.drawRoundedRect(body, body.height() * 0.18, body.height() * 0.18);
    painter.drawPolygon(polygon(box, {{0.72, 0.43}, {0.96, 0.28}, {0.96, 0.72}, {0.72, 0.57}}));
}

void sparkle(QPainter& painter, const QRectF& box, const QColor& ink) {
    fillWith(painter, ink);
    painter.drawPath(star(at(box, 0.42, 0.58), box.width() * 0.40));
    painter.drawPath(star(at(box, 0.80, 0.20), box.width() * 0.17));
}

void film(QPainter& painter, const QRectF& box, const QColor& ink) {
    strokeWith(painter, box, ink, 0.09);
    QRectF frame = part(box, 0.06, 0.16, 0.88, 0.68);
    painter.drawRoundedRect(frame, box.width() * 0.12, box.width() * 0.12);
    fillWith(painter, ink);
    painter.drawPolygon(polygon(box, {{0.40, 0.33}, {0.68, 0.50}, {0.40, 0.67}}));
}

void picture(QPainter& painter, const QRectF& box, const QColor& ink) {
    strokeWith(painter, box, ink, 0.09);
    QRectF frame = part(box, 0.06, 0.14, 0.88, 0.72);
    painter.drawRoundedRect(frame, box.width() * 0.1, box.width() * 0.1);
    fillWith(painter, ink);
    painter.drawPolygon(
        polygon(box, {{0.16, 0.76}, {0.40, 0.46}, {0.56, 0.64}, {0.66, 0.54}, {0.84, 0.76}}));
    painter.drawEllipse(at(box, 0.70, 0.34), box.width() * 0.08, box.width() * 0.08);
}

void recordRing(QPainter& painter, const QRectF& box, const QColor& ink) {
    strokeWith(painter, box, ink, 0.09);
    painter.drawEllipse(at(box, 0.5, 0.5), box.width() * 0.40, box.width() * 0.40);
    fillWith(painter, ink);
    painter.drawEllipse(at(box, 0.5, 0.5), box.width() * 0.20, box.width() * 0.20);
}

void plus(QPainter& painter, const QRectF& box, const QColor& ink) {
    strokeWith(painter, box, ink, 0.13);
    painter.drawLine(at(box, 0.2, 0.5), at(box, 0.8, 0.5));
    painter.drawLine(at(box, 0.5, 0.2), at(box, 0.5, 0.8));
}

void minus(QPainter& painter, const QRectF& box, const QColor& ink) {
    strokeWith(painter, box, ink, 0.13);
    painter.drawLine(at(box, 0.2, 0.5), at(box, 0.8, 0.5));
}

void cross(QPainter& painter, const QRectF& box, const QColor& ink) {
    strokeWith(painter, box, ink, 0.12);
    painter.drawLine(at(box, 0.24, 0.24), at(box, 0.76, 0.76));
    painter.drawLine(at(box, 0.76, 0.24), at(box, 0.24, 0.76));
}

void minimise(QPainter& painter, const QRectF& box, const QColor& ink) {
    strokeWith(painter, box, ink, 0.12);
    painter.drawLine(at(box, 0.24, 0.56), at(box, 0.76, 0.56));
}

void check(QPainter& painter, const QRectF& box, const QColor& ink) {
    strokeWith(painter, box, ink, 0.14);
    painter.drawPolyline(polygon(box, {{0.22, 0.52}, {0.42, 0.72}, {0.80, 0.30}}));
}

void chevronDown(QPainter& painter, const QRectF& box, const QColor& ink) {
    strokeWith(painter, box, ink, 0.16);
    painter.drawPolyline(polygon(box, {{0.15, 0.3}, {0.5, 0.7}, {0.85, 0.3}}));
}

void chevronUp(QPainter& painter, const QRectF& box, const QColor& ink) {
    strokeWith(painter, box, ink, 0.16);
    painter.drawPolyline(polygon(box, {{0.15, 0.7}, {0.5, 0.3}, {0.85, 0.7}}));
}

void speaker(QPainter& painter, const QRectF& box, const QColor& ink) {
    fillWith(painter, ink);
    painter.drawPolygon(polygon(
        box, {{0.10, 0.38}, {0.28, 0.38}, {0.50, 0.18}, {0.50, 0.82}, {0.28, 0.62}, {0.10, 0.62}}));
    strokeWith(painter, box, ink, 0.08);
    painter.drawArc(part(box, 0.42, 0.32, 0.30, 0.36), -50 * 16, 100 * 16);
    painter.drawArc(part(box, 0.40, 0.18, 0.48, 0.64), -50 * 16, 100 * 16);
}

void speakerMuted(QPainter& painter, const QRectF& box, const QColor& ink) {
    fillWith(painter, ink);
    painter.drawPolygon(polygon(
        box, {{0.08, 0.38}, {0.26, 0.38}, {0.48, 0.18}, {0.48, 0.82}, {0.26, 0.62}, {0.08, 0.62}}));
    strokeWith(painter, box, ink, 0.09);
    painter.drawLine(at(box, 0.62, 0.38), at(box, 0.86, 0.62));
    painter.drawLine(at(box, 0.86, 0.38), at(box, 0.62, 0.62));
}

void play(QPainter& painter, const QRectF& box, const QColor& ink) {
    fillWith(painter, ink);
    QPainterPath path;
    path.addPolygon(polygon(box, {{0.30, 0.18}, {0.84, 0.50}, {0.30, 0.82}}));
    path.closeSubpath();
    painter.drawPath(path);
}

void pause(QPainter& painter, const QRectF& box, const QColor& ink) {
    fillWith(painter, ink);
    const qreal radius = box.width() * 0.04;
    painter.drawRoundedRect(part(box, 0.24, 0.2, 0.18, 0.6), radius, radius);
    painter.drawRoundedRect(part(box, 0.58, 0.2, 0.18, 0.6), radius, radius);
}

void stop(QPainter& painter, const QRectF& box, const QColor& ink) {
    fillWith(painter, ink);
    painter.drawRoundedRect(part(box, 0.22, 0.22, 0.56, 0.56), box.width() * 0.08,
                            box.width() * 0.08);
}

void dot(QPainter& painter, const QRectF& box, const QColor& ink) {
    fillWith(painter, ink);
    painter.drawEllipse(at(box, 0.5, 0.5), box.width() * 0.3, box.width() * 0.3);
}

void folder(QPainter& painter, const QRectF& box, const QColor& ink) {
    strokeWith(painter, box, ink, 0.09);
    painter.drawPolygon(polygon(
        box, {{0.08, 0.22}, {0.38, 0.22}, {0.48, 0.32}, {0.92, 0.32}, {0.92, 0.80}, {0.08, 0.80}}));
    painter.drawLine(at(box, 0.08, 0.44), at(box, 0.92, 0.44));
}

void trash(QPainter& painter, const QRectF& box, const QColor& ink) {
    strokeWith(painter, box, ink, 0.09);
    painter.drawLine(at(box, 0.14, 0.26), at(box, 0.86, 0.26));
    painter.drawLine(at(box, 0.40, 0.14), at(box, 0.60, 0.14));
    painter.drawPolyline(polygon(box, {{0.24, 0.26}, {0.30, 0.86}, {0.70, 0.86}, {0.76, 0.26}}));
    painter.drawLine(at(box, 0.44, 0.42), at(box, 0.44, 0.70));
    painter.drawLine(at(box, 0.56, 0.42), at(box, 0.56, 0.70));
}

void sliders(QPainter& painter, const QRectF& box, const QColor& ink) {
    strokeWith(painter, box, ink, 0.09);
    const qreal rows[] = {0.24, 0.5, 0.76};
    const qreal knobs[] = {0.66, 0.34, 0.58};
    for (int i = 0; i < 3; ++i) {
        painter.drawLine(at(box, 0.1, rows[i]), at(box, 0.9, rows[i]));
    }
    fillWith(painter, ink);
    for (int i = 0; i < 3; ++i) {
        painter.drawEllipse(at(box, knobs[i], rows[i]), box.width() * 0.1, box.width() * 0.1);
    }
}

void broadcast(QPainter& painter, const QRectF& box, const QColor& ink) {
    fillWith(painter, ink);
    painter.drawEllipse(at(box, 0.5, 0.5), box.width() * 0.11, box.width() * 0.11);
    strokeWith(painter, box, ink, 0.08);
    // Two arcs on each side, opening outwards (Qt's angles in 1/16 degree).
    for (qreal radius : {0.24, 0.42}) {
        QRectF ring(at(box, 0.5 - radius, 0.5 - radius),
                    QSizeF(2 * radius * box.width(), 2 * radius * box.height()));
        painter.drawArc(ring, -45 * 16, 90 * 16);
        painter.drawArc(ring, 135 * 16, 90 * 16);
    }
}

void eye(QPainter& painter, const QRectF& box, const QColor& ink) {
    strokeWith(painter, box, ink, 0.09);
    QPainterPath lids;
    lids.moveTo(at(box, 0.06, 0.5));
    lids.quadTo(at(box, 0.5, 0.1), at(box, 0.94, 0.5));
    lids.quadTo(at(box, 0.5, 0.9), at(box, 0.06, 0.5));
    painter.drawPath(lids);
    fillWith(painter, ink);
    painter.drawEllipse(at(box, 0.5, 0.5), box.width() * 0.13, box.width() * 0.13);
}

Glyph numbered(Glyph base, int number) {
    return [base, number](QPainter& painter, const QRectF& box, const QColor& ink) {
        base(painter, part(box, 0.0, -0.04, 0.86, 0.86), ink);
        painter.setPen(ink);
        painter.setFont(theme::uiFont(box.height() * 0.5, QFont::Bold));
        painter.drawText(part(box, 0.62, 0.42, 0.5, 0.62), Qt::AlignCenter,
                         QString::number(number));
    };
}

Glyph struck(Glyph base) {
    return [base](QPainter& painter, const QRectF& box, const QColor& ink) {
        base(painter, box, ink);
        strokeWith(painter, box, ink, 0.09);
        painter.drawLine(at(box, 0.12, 0.08), at(box, 0.88, 0.92));
    };
}
}  // namespace glyph
