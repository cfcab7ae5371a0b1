#pragma once

#include <QColor>
#include <QPainter>
#include <QRectF>

#include <functional>

// Small line-art symbols drawn in one ink colour into a square box; buttons
// place them beside or above their labels.
using Glyph = std::function<void(QPainter& painter, const QRectF& box, const QColor& ink)>;

namespace glyph {
void camera(QPainter& painter, const QRectF& box, const QColor& ink);
void sparkle(QPainter& painter, const QRectF& box, const QColor& ink);
void film(QPainter& painter, const QRectF& box, const QColor& ink);
void picture(QPainter& painter, const QRectF& box, const QColor& ink);
void recordRing(QPainter& painter, const QRectF& box, const QColor& ink);
void plus(QPainter& painter, const QRectF& box, const QColor& ink);
void minus(QPainter& painter, const QRectF& box, const QColor& ink);
void cross(QPainter& painter, const QRectF& box, const QColor& ink);
void minimise(QPainter& painter, const QRectF& box, const QColor& ink);
void check(QPainter& painter, const QRectF& box, const QColor& ink);
void chevronDown(QPainter& painter, const QRectF& box, const QColor& ink);
void chevronUp(QPainter& painter, const QRectF& box, const QColor& ink);
void speaker(QPainter& painter, const QRectF& box, const QColor& ink);
void speakerMuted(QPainter& painter, const QRectF& box, const QColor& ink);
void play(QPainter& painter, const QRectF& box, const QColor& ink);
void pause(QPainter& painter, const QRectF& box, const QColor& ink);
void stop(QPainter& painter, const QRectF& box, const QColor& ink);
void dot(QPainter& painter, const QRectF& box, const QColor& ink);
void folder(QPainter& painter, const QRectF& box, const QColor& ink);
void trash(QPainter& painter, const QRectF& box, const QColor& ink);
void sliders(QPainter& painter, const QRectF& box, const QColor& ink);
// A dot sending waves to both sides: going live.
void broadcast(QPainter& painter, const QRectF& box, const QColor& ink);
// An open eye: a hidden text shown.
void eye(QPainter& painter, const QRectF& box, const QColor& ink);

// `base` with a small numeral in its lower right corner (camera 1, camera 2).
Glyph numbered(Glyph base, int number);
// `base` struck through by a diagonal line (a camera to be switched off).
Glyph struck(Glyph base);
}  // namespace glyph
