#include "app/stream_key_store.h"

#include <QStandardPaths>

#include "app/private_key_file.h"
#include "app/secret_service_keys.h"

StreamKeyStore::StreamKeyStore() {
    place_ = SecretServiceKeys::available() ? Place::SecretService : Place::PrivateFile;
}

// A key that went to the file while no secret service ran is still found
// once one runs, and leaves the file the first time its server is stored
// again. A key the secret service refuses (a keyring left locked) does not
// go to the file instead: the panel has told the person where keys are kept.
bool StreamKeyStore::store(const QString& server, const QString& key) {
    PrivateKeyFile file(privateFilePath());
    if (place_ == Place::PrivateFile) {
        return file.store(server, key);
    }
    if (!SecretServiceKeys::store(server, key)) {
        return false;
    }
    if (!file.find(server).isEmpty()) {
        file.store(server, QString());
    }
    return true;
}

QString StreamKeyStore::find(const QString& server) const {
    PrivateKeyFile file(privateFilePath());
    if (place_ == Place::PrivateFile) {
        return file.find(server);
    }
    QString key = SecretServiceKeys::find(server);
    return key.isEmpty() ? file.find(server) : key;
}

QString StreamKeyStore::privateFilePath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           "/LumoraBox/stream_keys";
}
