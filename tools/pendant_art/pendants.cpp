#include "tools/pendant_art/pendants.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace {
constexpr double kPi = 3.14159265358979;

QPainterPath heartPath(QPointF centre, double size) {
    QPainterPath path;
    double s = size / 2;
    path.moveTo(centre.x(), centre.y() + s);
    path.cubicTo(centre.x() - 2.2 * s, centre.y() - 0.2 * s, centre.x() - 0.9 * s,
                 centre.y() - 1.6 * s, centre.x(), centre.y() - 0.6 * s);
    path.cubicTo(centre.x() + 0.9 * s, centre.y() - 1.6 * s, centre.x() + 2.2 * s,
                 centre.y() - 0.2 * s, centre.x(), centre.y() + s);
    return path;
}

QPainterPath starPath(QPointF centre, double outer, double inner, int points, double turn) {
    QPainterPath path;
    for (int i = 0; i < points * 2; ++i) {
        double radius = i % 2 == 0 ? outer : inner;
        double angle = turn + i * kPi / points - kPi / 2;
        QPointF p(centre.x() + radius * std::cos(angle), centre.y() + radius * std::sin(angle));
        i == 0 ? path.moveTo(p) : path.lineTo(p);
    }
    path.closeSubpath();
    return path;
}

// Flat shapes: no outline, no antialiasing.
void beginFlat(QPainter& painter) {
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(Qt::NoPen);
}

// Hearts rising along both sides of the picture, in a seamless loop.
void drawHearts(QImage& frame, int index) {
    QPainter painter(&frame);
    painter.setRenderHint(QPainter::Antialiasing, false);
    const QColor colours[] = {QColor(235, 64, 110), QColor(255, 120, 160), QColor(200, 30, 70)};
    for (int side = 0; side < 2; ++side) {
        for (int k = 0; k < 5; ++k) {
            double y = 560 - std::fmod(k * 120 + index * 10.0, 600.0);
            double x = side == 0 ? 40 + 25 * std::sin(y / 60 + k) : 600 - 25 * std::sin(y / 60 + k);
            double size = 26 + 10 * (k % 3);
            painter.setPen(QPen(Qt::white, 3));
            painter.setBrush(colours[(k + side) % 3]);
            painter.drawPath(heartPath(QPointF(x, y), size));
        }
    }
}

// Gold stars around the edges, each twinkling in its own rhythm.
void drawStars(QImage& frame, int index) {
    QPainter painter(&frame);
    beginFlat(painter);
    const QPointF places[] = {{50, 50},   {150, 30},  {320, 22},  {490, 30},
                              {590, 50},  {30, 200},  {610, 200}, {40, 360},
                              {600, 360}, {120, 440}, {520, 440}, {320, 455}};
    for (int i = 0; i < 12; ++i) {
        double phase = (index + i * 3) % 12 / 12.0 * 2 * kPi;
        double outer = 12 + 8 * (0.5 + 0.5 * std::sin(phase));
        painter.setBrush(i % 2 ? QColor(255, 214, 64) : QColor(255, 245, 170));
        painter.drawPath(starPath(places[i], outer, outer * 0.45, 5, phase / 8));
    }
}

// A crown above the head, its jewels changing colour.
void drawCrown(QImage& frame, int index) {
    QPainter painter(&frame);
    beginFlat(painter);
    QPainterPath crown;
    crown.moveTo(230, 130);
    crown.lineTo(215, 45);
    crown.lineTo(265, 90);
    crown.lineTo(320, 25);
    crown.lineTo(375, 90);
    crown.lineTo(425, 45);
    crown.lineTo(410, 130);
    crown.closeSubpath();
    painter.setPen(QPen(QColor(150, 100, 10), 4));
    painter.setBrush(QColor(250, 200, 40));
    painter.drawPath(crown);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(250, 200, 40));
    painter.drawRect(230, 118, 180, 18);
    const QColor jewels[] = {QColor(220, 30, 60), QColor(40, 120, 230), QColor(40, 190, 90)};
    for (int j = 0; j < 3; ++j) {
        painter.setBrush(jewels[(j + index / 3) % 3]);
        painter.drawEllipse(QPointF(260 + j * 60, 105), 11, 11);
    }
    for (int tip = 0; tip < 3; ++tip) {
        bool lit = (index / 2 + tip) % 3 == 0;
        painter.setBrush(lit ? QColor(255, 255, 255) : QColor(255, 240, 170));
        painter.drawEllipse(QPointF(215 + tip * 105, tip == 1 ? 25 : 45), lit ? 9 : 7, lit ? 9 : 7);
    }
}

// A rounded border with lights running around it.
void drawFrame(QImage& frame, int index) {
    QPainter painter(&frame);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(QColor(120, 70, 200), 14));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(12, 12, 616, 456), 40, 40);
    painter.setPen(QPen(QColor(230, 200, 255), 4));
    painter.drawRoundedRect(QRectF(24, 24, 592, 432), 32, 32);
    painter.setPen(Qt::NoPen);
    const int lights = 40;
    for (int i = 0; i < lights; ++i) {
        double t = static_cast<double>(i) / lights;
        double perimeter = 2 * (616 + 456);
        double d = t * perimeter;
        QPointF p = d < 616          ? QPointF(12 + d, 12)
                    : d < 616 + 456  ? QPointF(628, 12 + d - 616)
                    : d < 1232 + 456 ? QPointF(628 - (d - 616 - 456), 468)
                                     : QPointF(12, 468 - (d - 1232 - 456));
        bool lit = (i + index) % 4 == 0;
        painter.setBrush(lit ? QColor(255, 250, 200) : QColor(255, 190, 60));
        painter.drawEllipse(p, lit ? 6 : 4, lit ? 6 : 4);
    }
}

// Four-pointed glints that flare and fade around the picture.
void drawSparkles(QImage& frame, int index) {
    QPainter painter(&frame);
    beginFlat(painter);
    const QPointF places[] = {{80, 70},   {200, 40}, {450, 45},  {560, 80},  {40, 250},
                              {600, 240}, {90, 410}, {560, 420}, {250, 450}, {400, 445}};
    const QColor colours[] = {QColor(255, 255, 255), QColor(170, 240, 255), QColor(255, 190, 230)};
    for (int i = 0; i < 10; ++i) {
        int age = (index + i * 5) % 12;
        if (age > 7) {
            continue;  // resting between flashes
        }
        double size = 6 + 20 * std::sin(age / 7.0 * kPi);
        painter.setBrush(colours[i % 3]);
        painter.drawPath(starPath(places[i], size, size * 0.22, 4, 0));
    }
}

// Light rain falling across the picture.
void drawRain(QImage& frame, int index) {
    QPainter painter(&frame);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(QColor(170, 210, 255), 2));
    for (int k = 0; k < 70; ++k) {
        double x = std::fmod(k * 97.0 + 13, 700.0) - 30;
        double y = std::fmod(k * 53.0 + index * 40.0, 520.0) - 20;
        double fall = (k % 3 == 0) ? 26 : 18;
        painter.drawLine(QPointF(x, y), QPointF(x - fall / 4, y + fall));
    }
}
}  // namespace

QVector<Pendant> allPendants() {
    return {
        {"爱心.gif",
         {QColor(235, 64, 110), QColor(255, 120, 160), QColor(200, 30, 70), Qt::white},
         15,
         80,
         drawHearts},
        {"星星.gif", {QColor(255, 214, 64), QColor(255, 245, 170)}, 12, 90, drawStars},
        {"皇冠.gif",
         {QColor(150, 100, 10), QColor(250, 200, 40), QColor(220, 30, 60), QColor(40, 120, 230),
          QColor(40, 190, 90), Qt::white, QColor(255, 240, 170)},
         12,
         100,
         drawCrown},
        {"相框.gif",
         {QColor(120, 70, 200), QColor(230, 200, 255), QColor(255, 250, 200), QColor(255, 190, 60)},
         8,
         120,
         drawFrame},
        {"闪光.gif",
         {Qt::white, QColor(170, 240, 255), QColor(255, 190, 230)},
         12,
         80,
         drawSparkles},
        {"下雨.gif", {QColor(170, 210, 255)}, 13, 70, drawRain},
    };
}
