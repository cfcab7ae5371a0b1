#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>

// A Windows icon file holding every given image (square, 1 to 256 pixels) as
// a PNG-compressed entry; Qt's own writer stores only one image.
QByteArray icoFile(const QList<QImage>& images);

bool writeIco(const QList<QImage>& images, const QString& path, QString* error);
