#include "widgets/skin_style.h"

#include <QCoreApplication>

SkinStyle* SkinStyle::instance() {
    static SkinStyle style;
    return &style;
}

SkinStyle::SkinStyle() { setSkin("skin"); }

SkinStyle::~SkinStyle() = default;

void SkinStyle::setSkin(const QString& name) {
    QString base = QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : ".";
    setSkinDirectory(base + "/" + name);
}

void SkinStyle::setSkinDirectory(const QString& directory) {
    directory_ = directory;
    pictures_.clear();
    strips_.clear();
}

QString SkinStyle::skinPath(const QString& relativePath) const {
    return directory_ + "/" + relativePath;
}

QPixmap SkinStyle::pixmap(const QString& relativePath) {
    auto known = pictures_.constFind(relativePath);
    if (known != pictures_.constEnd()) {
        return known.value();
    }
    ++filesLoaded_;
    QPixmap picture(skinPath(relativePath));
    pictures_.insert(relativePath, picture);
    return picture;
}

QPixmap SkinStyle::statePixmap(const QString& relativePath, int count, int index) {
    if (count <= 0 || index < 0 || index >= count) {
        return QPixmap();
    }
    QString key = relativePath + "#" + QString::number(count);
    auto known = strips_.constFind(key);
    if (known == strips_.constEnd()) {
        QPixmap strip = pixmap(relativePath);
        int width = strip.isNull() ? 0 : strip.width() / count;
        QList<QPixmap> slices;
        for (int i = 0; i < count; ++i) {
            slices << (width > 0 ? strip.copy(i * width, 0, width, strip.height()) : QPixmap());
        }
        known = strips_.insert(key, slices);
    }
    return known.value().at(index);
}
