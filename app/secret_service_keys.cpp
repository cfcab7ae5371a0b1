#include "app/secret_service_keys.h"

// Qt's "signals" keyword would rename a field of GLib's D-Bus headers.
#pragma push_macro("signals")
#undef signals
#include <libsecret/secret.h>
#pragma pop_macro("signals")
#include <sys/stat.h>

#include <QByteArray>

#include <cstdlib>
#include <string>

#include "base/debug_log.h"

namespace {
constexpr guint kConnectMs = 1000;
constexpr int kCallMs = 500;
constexpr const char* kServiceName = "org.freedesktop.secrets";

// The schema's name goes into every item as "xdg:schema", so our items are
// told apart from other programs' that also file something under "server".
const SecretSchema* streamKeySchema() {
    static const SecretSchema* const schema = [] {
        static SecretSchema made{};
        made.name = "org.lumora.StreamKey";
        made.flags = SECRET_SCHEMA_NONE;
        made.attributes[0] = {"server", SECRET_SCHEMA_ATTRIBUTE_STRING};
        return &made;
    }();
    return schema;
}

// The session bus as GLib finds it, without its last resort: "autolaunch"
// would start a bus of our own, which no secret service listens on.
std::string sessionBusAddress() {
    const char* given = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (given != nullptr && *given != '\0') {
        return std::string(given).rfind("autolaunch:", 0) == 0 ? std::string() : given;
    }
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime == nullptr) {
        return {};
    }
    std::string socket = std::string(runtime) + "/bus";
    struct stat status {};
    return ::stat(socket.c_str(), &status) == 0 && S_ISSOCK(status.st_mode) ? "unix:path=" + socket
                                                                            : std::string();
}

struct Connecting {
    GDBusConnection* connection = nullptr;
    bool finished = false;
    bool late = false;
};

void onConnected(GObject*, GAsyncResult* result, gpointer data) {
    auto* connecting = static_cast<Connecting*>(data);
    connecting->connection = g_dbus_connection_new_for_address_finish(result, nullptr);
    connecting->finished = true;
}

gboolean onLate(gpointer data) {
    static_cast<Connecting*>(data)->late = true;
    return G_SOURCE_REMOVE;
}

// Connects on a main context of its own, so a bus that accepts the socket
// but never finishes the handshake is given up after kConnectMs.
GDBusConnection* connectWithin(const std::string& address) {
    GMainContext* context = g_main_context_new();
    g_main_context_push_thread_default(context);
    GCancellable* cancellable = g_cancellable_new();
    Connecting connecting;
    GSource* timer = g_timeout_source_new(kConnectMs);
    g_source_set_callback(timer, onLate, &connecting, nullptr);
    g_source_attach(timer, context);
    g_dbus_connection_new_for_address(
        address.c_str(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, cancellable, onConnected, &connecting);
    while (!connecting.finished) {
        if (connecting.late) {
            g_cancellable_cancel(cancellable);
        }
        g_main_context_iteration(context, TRUE);
    }
    g_source_destroy(timer);
    g_source_unref(timer);
    g_object_unref(cancellable);
    g_main_context_pop_thread_default(context);
    g_main_context_unref(context);
    return connecting.connection;
}

// A call to the bus itself, given up after kCallMs; null when unanswered.
GVariant* askBus(GDBusConnection* bus, const char* method, GVariant* parameters) {
    return g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                       "org.freedesktop.DBus", method, parameters, nullptr,
                                       G_DBUS_CALL_FLAGS_NONE, kCallMs, nullptr, nullptr);
}

bool serviceRuns(GDBusConnection* bus) {
    GVariant* reply = askBus(bus, "NameHasOwner", g_variant_new("(s)", kServiceName));
    gboolean owned = FALSE;
    if (reply != nullptr) {
        g_variant_get(reply, "(b)", &owned);
        g_variant_unref(reply);
    }
    return owned;
}

bool serviceStartsOnDemand(GDBusConnection* bus) {
    GVariant* reply = askBus(bus, "ListActivatableNames", nullptr);
    if (reply == nullptr) {
        return false;
    }
    GVariantIter* names = nullptr;
    const char* each = nullptr;
    bool found = false;
    g_variant_get(reply, "(as)", &names);
    while (g_variant_iter_loop(names, "&s", &each)) {
        found = found || g_strcmp0(each, kServiceName) == 0;
    }
    g_variant_iter_free(names);
    g_variant_unref(reply);
    return found;
}

// libsecret talks over GLib's shared session connection, which by default
// ends the process when the bus goes away; a program that only keeps keys
// there must outlive its bus. The connection is held with that turned off,
// so libsecret gets this one; a closed one is let go, so that the next
// connection is a new one. Touched on the user-interface thread only.
GDBusConnection* g_heldSessionBus = nullptr;

void holdSessionBus() {
    if (g_heldSessionBus != nullptr && !g_dbus_connection_is_closed(g_heldSessionBus)) {
        return;
    }
    g_clear_object(&g_heldSessionBus);
    g_heldSessionBus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (g_heldSessionBus != nullptr) {
        g_dbus_connection_set_exit_on_close(g_heldSessionBus, FALSE);
    }
}

// libsecret keeps the service it found for the process's life, bound to the
// daemon then running: after the keyring daemon restarts, or the bus does,
// each call fails with a D-Bus error. Those calls are made once more on a
// fresh connection. The service's own refusals (a locked keyring) are not
// repeated, which would ask the person twice.
template <typename Call>
void callWithFreshServiceOnce(Call call, GError** error) {
    call(error);
    bool stale = *error != nullptr && ((*error)->domain == G_DBUS_ERROR ||
                                       g_error_matches(*error, G_IO_ERROR, G_IO_ERROR_CLOSED));
    if (!stale) {
        return;
    }
    debugLog("stream keys: the secret service went away (%s); asking again", (*error)->message);
    g_clear_error(error);
    secret_service_disconnect();
    holdSessionBus();
    call(error);
}

GHashTable* attributesFor(const QByteArray& server) {
    GHashTable* attributes = g_hash_table_new(g_str_hash, g_str_equal);
    g_hash_table_insert(attributes, const_cast<char*>("server"),
                        const_cast<char*>(server.constData()));
    return attributes;
}

void logFailure(const char* what, GError* error) {
    debugLog("stream keys: the secret service %s: %s [%s]", what,
             error ? error->message : "no reason given",
             error ? g_quark_to_string(error->domain) : "");
    g_clear_error(&error);
}
}  // namespace

namespace SecretServiceKeys {

bool available() {
    std::string address = sessionBusAddress();
    if (address.empty()) {
        debugLog("stream keys: no session bus; keys go to the private file");
        return false;
    }
    GDBusConnection* bus = connectWithin(address);
    if (bus == nullptr) {
        debugLog("stream keys: the session bus does not answer; keys go to the private file");
        return false;
    }
    bool found = serviceRuns(bus) || serviceStartsOnDemand(bus);
    g_dbus_connection_close_sync(bus, nullptr, nullptr);
    g_object_unref(bus);
    debugLog("stream keys: %s", found ? "kept by the secret service"
                                      : "no secret service; keys go to the private file");
    if (found) {
        holdSessionBus();
    }
    return found;
}

QString find(const QString& server) {
    QByteArray name = server.toUtf8();
    GHashTable* attributes = attributesFor(name);
    GError* error = nullptr;
    gchar* key = nullptr;
    callWithFreshServiceOnce(
        [&](GError** failure) {
            key = secret_password_lookupv_sync(streamKeySchema(), attributes, nullptr, failure);
        },
        &error);
    g_hash_table_unref(attributes);
    if (error != nullptr) {
        logFailure("could not be read", error);
        return {};
    }
    QString found = QString::fromUtf8(key);
    secret_password_free(key);
    return found;
}

bool store(const QString& server, const QString& key) {
    QByteArray name = server.toUtf8();
    GHashTable* attributes = attributesFor(name);
    GError* error = nullptr;
    if (key.isEmpty()) {
        callWithFreshServiceOnce(
            [&](GError** failure) {
                secret_password_clearv_sync(streamKeySchema(), attributes, nullptr, failure);
            },
            &error);
    } else {
        QByteArray label = "Lumora stream key (" + name + ")";
        QByteArray secret = key.toUtf8();
        callWithFreshServiceOnce(
            [&](GError** failure) {
                secret_password_storev_sync(streamKeySchema(), attributes,
                                            SECRET_COLLECTION_DEFAULT, label.constData(),
                                            secret.constData(), nullptr, failure);
            },
            &error);
        // The bytes of the key are not left behind in freed memory.
        secret.fill('\0');
    }
    g_hash_table_unref(attributes);
    if (error != nullptr) {
        logFailure(key.isEmpty() ? "did not forget a key" : "refused a key", error);
        return false;
    }
    return true;
}

}  // namespace SecretServiceKeys
