#pragma once

#include <QMap>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariant>

// The one place where the panels keep their state between runs: the user's
// native settings (organisation "LumoraBox", application "Lumora") with
// numbered slots ("effect_N"), string lists and maps encoded as
// "key:value;" with ":" written "&nbcp" and ";" written "&nbco".
//
// A string list is stored as its items joined with ";" when that reads back
// the same, as every version wrote lists. One that would not (an item holding
// ";", a list of one empty item, a first item starting with a NUL) is stored
// escaped instead: a NUL item first, then the items joined with ";", each
// with "%" written "%25" and ";" written "%3B". No file path holds a NUL, so
// no list an older version stored starts with one, and those read back as
// they were written, "%" and all. Every list of strings, so every list of
// names a Linux file system allows, comes back as it was saved.
//
// Map values that encoding cannot hold (a map key or value that is empty or
// holds "&nbcp" or "&nbco") would come back changed or not at all; they are
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
    // Stores the whole list, whatever its items hold.
    void saveStringList(const QString& key, const QStringList& list);
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
    static QString encodeList(const QStringList& list);
    static QStringList decodeList(const QString& encoded);

private:
    SettingsDb();

    QSettings settings_;
};
