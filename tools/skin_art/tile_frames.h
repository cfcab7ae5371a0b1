#pragma once

#include "tools/skin_art/skin_picture.h"

// The frame laid over a list tile: a quiet outline when normal, an accent
// outline and a tick badge when selected. Its inside stays transparent, so the
// tile's picture and text show through.
StatePainter tileFrame(qreal selectedWidth, qreal badgeRadius);
// An etched separator line across (or down) the whole slice.
StatePainter separator(Qt::Orientation orientation);
