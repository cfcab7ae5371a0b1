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

// The first item of an escaped list. A NUL is in no file path, so no list
// stored before lists were escaped (paths joined by ';') starts with one.
// As an item of its own it costs an older version reading a new file one
// unknown name, not the first real one.
const QString kEscapedListMark(QChar(0));

// Whether joining with ';' would not read back the same list.
bool needsEscaping(const QStringList& list) {
    if (list.size() == 1 && list.front().isEmpty()) {
        return true;  // joined, it is the empty string: no list at all
    }
    if (!list.isEmpty() && list.front().startsWith(kEscapedListMark)) {
        return true;  // joined, it would read as an escaped list
    }
    for (const QString& item : list) {
        if (item.contains(';')) {
            return true;
        }
    }
    return false;
}

// "%25" and "%3B" back to '%' and ';', left to right, so that an escaped
// "%3B" ("%253B") stays "%3B"; anything else is kept as it is.
QString percentUnescaped(const QString& item) {
    QString text;
    text.reserve(item.size());
    for (qsizetype i = 0; i < item.size(); ++i) {
        QStringView code = QStringView(item).mid(i + 1, 2);
        if (item[i] == '%' && code == u"25") {
            text += '%';
            i += 2;
        } else if (item[i] == '%' && code == u"3B") {
            text += ';';
            i += 2;
        } else {
            text += item[i];
        }
    }
    return text;
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

QString SettingsDb::encodeList(const QStringList& list) {
    if (!needsEscaping(list)) {
        return list.join(';');
    }
    QStringList items{kEscapedListMark};
    items.reserve(list.size() + 1);
    for (QString item : list) {
        items << item.replace('%', "%25").replace(';', "%3B");
    }
    return items.join(';');
}

QStringList SettingsDb::decodeList(const QString& encoded) {
    if (encoded.isEmpty()) {
        return {};
    }
    if (!encoded.startsWith(kEscapedListMark)) {
        return encoded.split(';');  // empty items in the middle come back as they were
    }
    QStringList items = encoded.split(';');
    items.removeFirst();  // the mark
    for (QString& item : items) {
        item = percentUnescaped(item);
    }
    return items;
}

void SettingsDb::saveStringList(const QString& key, const QStringList& list) {
    settings_.setValue(key, encodeList(list));
    settings_.sync();  // on disk at once, as every setting
}

void SettingsDb::loadStringList(const QString& key, QStringList& list) {
    list = decodeList(settings_.value(key).toString());
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
