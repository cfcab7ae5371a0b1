#include "tools/skin_art/picture_writer.h"

#include <QFileInfo>
#include <QSaveFile>

QImage renderPicture(const SkinPicture& picture, int scale) {
    const QSize logical(picture.slice.width() * picture.states, picture.slice.height());
    QImage image(logical * scale, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing |
                           QPainter::SmoothPixmapTransform);
    for (int state = 0; state < picture.states; ++state) {
        const QRectF slice(QPointF(state * picture.slice.width(), 0), picture.slice);
        painter.save();
        // A state never bleeds into its neighbour, whatever it draws.
        painter.setClipRect(slice);
        picture.paint(painter, slice, state);
        painter.restore();
    }
    return image;
}

QString doubleSizePath(const QString& path) {
    const qsizetype dot = path.lastIndexOf('.');
    return path.left(dot) + "@2x" + path.mid(dot);
}

bool saveImage(const QImage& image, const QString& path, QString* error) {
    if (!QDir().mkpath(QFileInfo(path).path())) {
        *error = QString("cannot create the folder of %1").arg(path);
        return false;
    }
    // Written beside and renamed, so a reader never sees half a picture.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !image.save(&file, "PNG") || !file.commit()) {
        *error = QString("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

bool writePicture(const SkinPicture& picture, const QDir& folder, QString* error) {
    const QString path = folder.filePath(picture.path);
    return saveImage(renderPicture(picture, 1), path, error) &&
           saveImage(renderPicture(picture, 2), doubleSizePath(path), error);
}
