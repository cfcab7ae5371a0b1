#pragma once

#include <QPointF>

class QPainter;

// The small sign on a list entry whose file cannot be used (a video that
// cannot play, a picture that cannot be read): a red disc with a white "!".
// Drawn, not a skin picture, so that it shows whatever the skin holds.
namespace ProblemSign {
constexpr int kDiameter = 16;
void draw(QPainter& painter, const QPointF& centre);
}  // namespace ProblemSign
