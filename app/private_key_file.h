#pragma once

#include <QMap>
#include <QString>

// The stream keys of a machine without a secret service: one file that only
// its owner may read or write (mode 0600), holding a JSON object of server
// address to key, so any server string survives (line feeds, '=', ':', CJK).
//
// The file is never rewritten in place: a new one is made under a temporary
// name with mode 0600 from its first byte, written, flushed to the disk and
// renamed over the old one, so it is whole and private at every moment. A
// temporary file that a killed write left behind goes at the next write.
// Nothing here writes a key to the log.
class PrivateKeyFile {
public:
    explicit PrivateKeyFile(QString path);

    // The key filed under `server`; empty when there is none or the file
    // cannot be trusted.
    QString find(const QString& server) const;
    // Files `key` under `server` (an empty key takes the server out). False
    // when the file could not be written; the old file then stays as it was.
    bool store(const QString& server, const QString& key);

private:
    enum class Reading { Read, Missing, Garbled, Refused };
    Reading read(QMap<QString, QString>* keys) const;
    bool write(const QMap<QString, QString>& keys);
    bool keepGarbledAside();
    void removeLeftTemporaries() const;
    bool makeFolder() const;

    QString path_;
};
