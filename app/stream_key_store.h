#pragma once

#include <QString>

// Keeps stream keys out of the settings, the log and every command line: in
// the desktop's secret store (the Secret Service over the session bus,
// through libsecret) when one answers, else in a file only its owner may
// read or write (mode 0600), "stream_keys" in the settings folder
// (~/.config/LumoraBox/). Keys are filed under the server address they go
// with, written without any key. The panel tells the person which place
// holds them (place()).
//
// A key never reaches the debug log, not even in a failure's message.
// Threads: the user-interface thread only; a call may talk to the secret
// service over D-Bus, so it is made on a person's action, never per frame.
class StreamKeyStore {
public:
    enum class Place { SecretService, PrivateFile };

    // Looks once for a secret service on the session bus; the file when none
    // answers.
    StreamKeyStore();

    Place place() const { return place_; }

    // Files `key` under `server`, replacing what was there; an empty key
    // forgets it. False when the place refused it (said in the log, without
    // the key); what was stored before then stays.
    bool store(const QString& server, const QString& key);
    // The key filed under `server`; empty when there is none.
    QString find(const QString& server) const;

    // The file used where no secret service runs.
    static QString privateFilePath();

private:
    Place place_ = Place::PrivateFile;
};
