#pragma once

#include <QString>

// Stream keys in the desktop's secret store (the Secret Service on the
// session bus, through libsecret), one item per server in the default
// collection: schema "org.lumora.StreamKey", attribute "server", labelled
// "Lumora stream key (<server>)". Nothing here writes a key to the log.
// A locked keyring brings up the desktop's own unlock prompt, and the call
// waits for the person's answer; where no prompt can be shown, the service
// refuses at once.
namespace SecretServiceKeys {

// True when a session bus answers within a short time and the name
// org.freedesktop.secrets on it is owned or can be started. Bounded: a bus
// that does not answer costs about a second, never a hang.
bool available();

// The key filed under `server`; empty when there is none or the store
// cannot be read (a locked keyring that the person did not unlock).
QString find(const QString& server);
// Files `key` under `server`, replacing the item that was there; an empty
// key removes it. False when the store refused (a locked keyring, a service
// gone); what it held before then stays.
bool store(const QString& server, const QString& key);

}  // namespace SecretServiceKeys
