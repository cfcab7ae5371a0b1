#pragma once

#include <QList>
#include <QSize>
#include <QString>
#include <vector>

#include "sources/camera_enumeration.h"

// The sizes the camera panel offers for a camera: the first 480 x 360, the
// first 320 x 240 and the first 640 x 480 among its formats, in the order the
// camera lists them; 640 x 480 alone when it offers none of them.
QList<QSize> offeredSizes(const std::vector<CameraFormat>& formats);

// Whether a device stays out of the camera lists: any virtual camera, and the
// program's own virtual camera by its card label `ownName`.
bool isLeftOutCamera(const QString& name, const QString& ownName);

// "640 X 480", as the lists show a size.
QString sizeText(QSize size);
