#include "tools/skin_art/ico_writer.h"

#include <QBuffer>
#include <QDataStream>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace {
constexpr int kDirectorySize = 6;  // reserved, type, count
constexpr int kEntrySize = 16;

QByteArray pngOf(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// A width or height of 256 is stored as 0, the format's way of saying 256.
quint8 sideByte(int side) { return static_cast<quint8>(side >= 256 ? 0 : side); }
}  // namespace

QByteArray icoFile(const QList<QImage>& images) {
    QList<QByteArray> pngs;
    for (const QImage& image : images) {
        pngs << pngOf(image);
    }
    QByteArray file;
    QDataStream out(&file, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out << quint16(0) << quint16(1) << quint16(images.size());
    quint32 offset = kDirectorySize + kEntrySize * images.size();
    for (int i = 0; i < images.size(); ++i) {
        out << sideByte(images[i].width()) << sideByte(images[i].height());
        out << quint8(0) << quint8(0);     // no palette, reserved
        out << quint16(1) << quint16(32);  // planes, bits per pixel
        out << quint32(pngs[i].size()) << offset;
        offset += pngs[i].size();
    }
    for (const QByteArray& png : pngs) {
        out.writeRawData(png.constData(), png.size());
    }
    return file;
}

bool writeIco(const QList<QImage>& images, const QString& path, QString* error) {
    QSaveFile file(path);
    if (!QDir().mkpath(QFileInfo(path).path()) || !file.open(QIODevice::WriteOnly) ||
        file.write(icoFile(images)) < 0 || !file.commit()) {
        *error = QString("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}
