#pragma once

#include <QDir>
#include <QImage>
#include <QString>

#include "tools/skin_art/skin_picture.h"

// The picture at `scale` device pixels per logical pixel: every state painted
// side by side into one transparent strip.
QImage renderPicture(const SkinPicture& picture, int scale);

// The @2x file name that Qt looks for beside "name.png": "name@2x.png".
QString doubleSizePath(const QString& path);

// Writes `image` to `path`, creating its folder; on failure says why.
bool saveImage(const QImage& image, const QString& path, QString* error);

// Writes the picture under `folder` at 1x and as its @2x twin.
bool writePicture(const SkinPicture& picture, const QDir& folder, QString* error);
