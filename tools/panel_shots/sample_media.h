#pragma once

#include <QStringList>

// Sample files for the screenshots, made in `folder`: pictures drawn here,
// short video clips made with ffmpeg when it is installed.
QStringList makeSamplePictures(const QString& folder, int count);
QStringList makeSampleVideos(const QString& folder, int count);
