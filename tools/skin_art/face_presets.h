#pragma once

#include <QImage>
#include <QList>

#include "tools/skin_art/skin_picture.h"

// A drawn face as a 640 x 480 camera picture, the kind the beautify filter
// works on.
QImage sampleFace();

// The nine beautify preset icons of the effect page ("effect/<name>.png"):
// the sample face after the real filter of each preset, with the preset's name.
QList<SkinPicture> presetIcons();
