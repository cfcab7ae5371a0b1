#include "widgets/skin_style.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>

namespace {
// Through a QImage: QPixmap's own loading keeps every picture in the
// toolkit's pixmap cache as well (up to 10 MB, the pendant pictures at full
// size among them), beside our cache and the tiles' small copies.
QPixmap fromFile(const QString& path) { return QPixmap::fromImage(QImage(path)); }

QPixmap load(const QString& path) {
    auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    qreal ratio = gui ? gui->devicePixelRatio() : 1.0;
    if (ratio > 1.0) {
        QFileInfo file(path);
        QString sharp = file.path() + "/" + file.completeBaseName() + "@2x." + file.suffix();
        if (QFileInfo::exists(sharp)) {
            QPixmap picture = fromFile(sharp);
            picture.setDevicePixelRatio(2.0);
            return picture;
        }
    }
    return fromFile(path);
}
}  // namespace

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

void SkinStyle::setLanguageFolder(const QString& folder) {
    languageFolder_ = folder;
    pictures_.clear();
    strips_.clear();
}

QString SkinStyle::skinPath(const QString& relativePath) const {
    if (!languageFolder_.isEmpty()) {
        QString translated = directory_ + "/" + languageFolder_ + "/" + relativePath;
        if (QFileInfo::exists(translated)) {
            return translated;
        }
    }
    return directory_ + "/" + relativePath;
}

QPixmap SkinStyle::pixmap(const QString& relativePath) {
    auto known = pictures_.constFind(relativePath);
    if (known != pictures_.constEnd()) {
        return known.value();
    }
    ++filesLoaded_;
    QPixmap picture = load(skinPath(relativePath));
    pictures_.insert(relativePath, picture);
    return picture;
}

QPixmap SkinStyle::uncachedPixmap(const QString& relativePath) {
    ++filesLoaded_;
    return load(skinPath(relativePath));
}

QPixmap SkinStyle::statePixmap(const QString& relativePath, int count, int index) {
    if (count <= 0 || index < 0 || index >= count) {
        return QPixmap();
    }
    QString key = relativePath + "#" + QString::number(count);
    auto known = strips_.constFind(key);
    if (known == strips_.constEnd()) {
        // Only the slices are kept: a strip kept beside its slices held
        // every button's pictures twice.
        auto whole = pictures_.constFind(relativePath);
        QPixmap strip =
            whole != pictures_.constEnd() ? whole.value() : uncachedPixmap(relativePath);
        int width = strip.isNull() ? 0 : strip.width() / count;
        QList<QPixmap> slices;
        for (int i = 0; i < count; ++i) {
            QPixmap slice = width > 0 ? strip.copy(i * width, 0, width, strip.height()) : QPixmap();
            slice.setDevicePixelRatio(strip.devicePixelRatio());
            slices << slice;
        }
        known = strips_.insert(key, slices);
    }
    return known.value().at(index);
}
