#include "app/video_info.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace VideoInfoCache {

QString folder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           "/LumoraCache/VideoInfoCache";
}

QString nameOf(const QString& path) {
    return QString::fromLatin1(
        QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Md5).toHex());
}

std::optional<VideoInfoQt> read(const QString& path) {
    QString base = folder() + "/" + nameOf(path);
    QFileInfo picture(base + ".jpg"), information(base + ".bin"), video(path);
    if (!picture.exists() || !information.exists() || !video.exists()) {
        return std::nullopt;
    }
    if (video.lastModified().secsTo(picture.lastModified()) < 0) {
        return std::nullopt;  // the video changed after its thumbnail was made
    }
    VideoInfoQt info;
    info.path = path;
    info.image = QImage(picture.filePath());
    if (info.image.isNull()) {
        return std::nullopt;
    }
    info.playTime =
        QSettings(information.filePath(), QSettings::IniFormat).value("playTime", 0).toInt();
    return info;
}

void write(const VideoInfoQt& info) {
    QString base = folder() + "/" + nameOf(info.path);
    QDir().mkpath(folder());
    info.image.save(base + ".jpg");
    QSettings information(base + ".bin", QSettings::IniFormat);
    information.setValue("playTime", info.playTime);
    information.sync();
}

}  // namespace VideoInfoCache
