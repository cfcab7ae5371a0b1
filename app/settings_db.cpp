#include "app/settings_db.h"

#include <QDir>
#include <QStandardPaths>

#include "base/debug_log.h"

namespace {
constexpr const char* kColon = "&nbcp";
constexpr const char* kSemicolon = "&nbco";

QString escaped(QString text) { return text.replace(":", kColon).replace(";", kSemicolon); }

QString unescaped(QString text) { return text.replace(kColon, ":").replace(kSemicolon, ";"); }

bool canStoreMapText(const QString& text) {
    return !text.isEmpty() && !text.contains(kColon) && !text.contains(kSemicolon);
}
}  // namespace

SettingsDb* SettingsDb::instance() {
    static SettingsDb store;
    return &store;
}

SettingsDb::SettingsDb()
    : settings_(QSettings::NativeFormat, QSettings::UserScope, "LumoraBox", "Lumora") {}

QString SettingsDb::slotKey(int slot) { return QStringLiteral("effect_%1").arg(slot); }

void SettingsDb::saveValue(int slot, const QVariant& value) {
    settings_.setValue(slotKey(slot), value);
    settings_.sync();  // on disk at once: a crash loses no setting
}

void SettingsDb::loadValue(int slot, QVariant& value) { value = settings_.value(slotKey(slot)); }

void SettingsDb::saveText(const QString& key, const QString& text) {
    settings_.setValue(key, text);
    settings_.sync();
}

QString SettingsDb::loadText(const QString& key) { return settings_.value(key).toString(); }

bool SettingsDb::encodeMap(const QMap<QString, QString>& map, QString* encoded) {
    QString text;
    for (auto entry = map.cbegin(); entry != map.cend(); ++entry) {
        if (!canStoreMapText(entry.key()) || !canStoreMapText(entry.value())) {
            return false;
        }
        text += escaped(entry.key()) + ":" + escaped(entry.value()) + ";";
    }
    *encoded = text;
    return true;
}

QMap<QString, QString> SettingsDb::decodeMap(const QString& encoded) {
    QMap<QString, QString> map;
    for (const QString& piece : encoded.split(';', Qt::SkipEmptyParts)) {
        QStringList parts = piece.split(':', Qt::SkipEmptyParts);
        if (parts.size() == 2) {
            map[unescaped(parts[0])] = unescaped(parts[1]);  // a later duplicate wins
        }
    }
    return map;
}

bool SettingsDb::saveMap(int slot, const QMap<QString, QString>& map) {
    QString encoded;
    if (!encodeMap(map, &encoded)) {
        debugLog("SettingsDb, %s not saved: a key or value is empty or holds &nbcp or &nbco",
                 qPrintable(slotKey(slot)));
        return false;
    }
    saveValue(slot, encoded);
    return true;
}

void SettingsDb::loadMap(int slot, QMap<QString, QString>& map) {
    map.clear();
    QVariant value;
    loadValue(slot, value);
    if (!value.isNull()) {
        map = decodeMap(value.toString());
    }
}

bool SettingsDb::canStoreListItem(const QString& item) { return !item.contains(';'); }

bool SettingsDb::saveStringList(const QString& key, const QStringList& list) {
    if (list.size() == 1 && list.front().isEmpty()) {
        debugLog("SettingsDb, %s not saved: a list of one empty item reads back empty",
                 qPrintable(key));
        return false;
    }
    // One item that cannot be stored must not cost the others: it alone is
    // left out (and named in the log).
    QStringList storable;
    storable.reserve(list.size());
    for (const QString& item : list) {
        if (canStoreListItem(item)) {
            storable.append(item);
        } else {
            debugLog("SettingsDb, %s: \"%s\" left out, it holds a ';'", qPrintable(key),
                     qPrintable(item));
        }
    }
    settings_.setValue(key, storable.join(';'));
    settings_.sync();
    return storable.size() == list.size();
}

void SettingsDb::loadStringList(const QString& key, QStringList& list) {
    list.clear();
    QString stored = settings_.value(key).toString();
    if (!stored.isEmpty()) {
        list = stored.split(';');  // empty items in the middle come back as they were
    }
}

QString SettingsDb::dataPath() {
    static const QString path = [] {
        QString folder =
            QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) + "/LumoraBox";
        QDir().mkpath(folder);
        return folder;
    }();
    return path;
}
