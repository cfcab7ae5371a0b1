#pragma once

#include <QMap>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariant>

// The one place where the panels keep their state between runs: the user's
// native settings (organisation "LumoraBox", application "Lumora") with
// numbered slots ("effect_N"), string lists joined with ";" and maps encoded
// as "key:value;" with ":" written "&nbcp" and ";" written "&nbco".
//
// Values those encodings cannot hold (a list item with ";", a list of one
// empty item, a map key or value that is empty or holds "&nbcp" or "&nbco")
// would come back changed or not at all; they are
// refused where they are given: the save returns false, says why in the debug
// log and writes nothing, so what was stored before stays.
//
// Every save reaches the disk at once. Threads: the user-interface thread only.
class SettingsDb {
public:
    static SettingsDb* instance();

    void saveValue(int slot, const QVariant& value);
    // An invalid QVariant when the slot was never written.
    void loadValue(int slot, QVariant& value);
    bool saveMap(int slot, const QMap<QString, QString>& map);
    void loadMap(int slot, QMap<QString, QString>& map);
    // Stores every item that can be stored (none may hold a ';'); false when
    // some were left out. A list of one empty item is refused whole: it
    // would read back empty.
    bool saveStringList(const QString& key, const QStringList& list);
    void loadStringList(const QString& key, QStringList& list);
    // A setting of ours beside the slots, under its own key; empty when the
    // key was never written.
    void saveText(const QString& key, const QString& text);
    QString loadText(const QString& key);

    // The documents folder + "/LumoraBox", made on the first call.
    static QString dataPath();
    // "effect_" + the slot number, without leading zeros.
    static QString slotKey(int slot);

    // The stored forms, for tests and for whoever reads the file.
    static bool encodeMap(const QMap<QString, QString>& map, QString* encoded);
    static QMap<QString, QString> decodeMap(const QString& encoded);
    static bool canStoreListItem(const QString& item);

private:
    SettingsDb();

    QSettings settings_;
};
