#pragma once

#include <QString>

#include "tools/skin_gallery/contact_sheet.h"

// One sheet per group of the toolkit, drawn by the real widgets over the skin
// that SkinStyle points at.
ContactSheet buttonSheet(qreal scale);
ContactSheet dialogSheet(qreal scale);
ContactSheet itemViewSheet(qreal scale);
ContactSheet sliderSheet(qreal scale);
ContactSheet pictureSheet(qreal scale);
ContactSheet mainWindowSheet(qreal scale);
