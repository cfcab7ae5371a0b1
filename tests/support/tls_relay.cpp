#include "tests/support/tls_relay.h"

#include <gio/gio.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include "tests/support/test_media.h"

struct TlsRelay::Impl {
    int targetPort = 0;
    int port = 0;
    ScratchDir dir;
    GCancellable* cancel = g_cancellable_new();
    GSocketListener* listener = nullptr;
    GTlsCertificate* certificate = nullptr;
    std::thread accepting;
    std::mutex lock;  // relays_ between the accepting thread and the destructor
    std::vector<std::thread> relays;
    std::atomic<int> handshakes{0};

    void acceptAll();
    void relay(GSocketConnection* accepted);
};

namespace {
// Copies `from` into `to` until either ends, then stops the other way too.
void copy(GIOStream* from, GIOStream* to, GCancellable* cancel) {
    std::vector<char> buffer(16384);
    GInputStream* in = g_io_stream_get_input_stream(from);
    GOutputStream* out = g_io_stream_get_output_stream(to);
    for (;;) {
        const gssize got = g_input_stream_read(in, buffer.data(), buffer.size(), cancel, nullptr);
        if (got <= 0 || !g_output_stream_write_all(out, buffer.data(), static_cast<gsize>(got),
                                                   nullptr, cancel, nullptr)) {
            break;
        }
    }
    g_cancellable_cancel(cancel);
}
}  // namespace

void TlsRelay::Impl::relay(GSocketConnection* accepted) {
    GIOStream* tls = g_tls_server_connection_new(G_IO_STREAM(accepted), certificate, nullptr);
    g_object_unref(accepted);
    if (tls == nullptr) {
        return;
    }
    GCancellable* both = g_cancellable_new();
    // The relay's own end with the relay as a whole.
    const gulong link =
        g_cancellable_connect(cancel, G_CALLBACK(+[](GCancellable*, gpointer other) {
                                  g_cancellable_cancel(static_cast<GCancellable*>(other));
                              }),
                              both, nullptr);
    if (g_tls_connection_handshake(G_TLS_CONNECTION(tls), both, nullptr)) {
        ++handshakes;
        GSocketClient* client = g_socket_client_new();
        GSocketConnection* plain = g_socket_client_connect_to_host(
            client, "127.0.0.1", static_cast<guint16>(targetPort), both, nullptr);
        g_object_unref(client);
        if (plain != nullptr) {
            std::thread back([&] { copy(G_IO_STREAM(plain), tls, both); });
            copy(tls, G_IO_STREAM(plain), both);
            back.join();
            g_io_stream_close(G_IO_STREAM(plain), nullptr, nullptr);
            g_object_unref(plain);
        }
    }
    g_cancellable_disconnect(cancel, link);
    g_io_stream_close(tls, nullptr, nullptr);
    g_object_unref(tls);
    g_object_unref(both);
}

void TlsRelay::Impl::acceptAll() {
    for (;;) {
        GSocketConnection* accepted = g_socket_listener_accept(listener, nullptr, cancel, nullptr);
        if (accepted == nullptr) {
            return;  // cancelled
        }
        std::lock_guard<std::mutex> guard(lock);
        relays.emplace_back([this, accepted] { relay(accepted); });
    }
}

TlsRelay::TlsRelay(int targetPort) : impl_(std::make_unique<Impl>()) {
    impl_->targetPort = targetPort;
}

TlsRelay::~TlsRelay() {
    g_cancellable_cancel(impl_->cancel);
    if (impl_->accepting.joinable()) {
        impl_->accepting.join();
    }
    for (std::thread& relay : impl_->relays) {
        relay.join();
    }
    for (GObject* object : {G_OBJECT(impl_->listener), G_OBJECT(impl_->certificate)}) {
        if (object != nullptr) {
            g_object_unref(object);
        }
    }
    g_object_unref(impl_->cancel);
}

bool TlsRelay::start(std::string* problem) {
    const std::string key = impl_->dir.file("key.pem");
    const std::string made =
        "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 "
        "-subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 -keyout '" +
        key + "' -out '" + certificateFile() + "' 2>/dev/null";
    if (std::system(made.c_str()) != 0) {
        *problem = "openssl made no certificate";
        return false;
    }
    GError* error = nullptr;
    impl_->certificate =
        g_tls_certificate_new_from_files(certificateFile().c_str(), key.c_str(), &error);
    impl_->listener = g_socket_listener_new();
    GInetAddress* loopback = g_inet_address_new_loopback(G_SOCKET_FAMILY_IPV4);
    GSocketAddress* any = g_inet_socket_address_new(loopback, 0);
    GSocketAddress* bound = nullptr;
    const bool listening =
        impl_->certificate != nullptr &&
        g_socket_listener_add_address(impl_->listener, any, G_SOCKET_TYPE_STREAM,
                                      G_SOCKET_PROTOCOL_TCP, nullptr, &bound, &error);
    g_object_unref(any);
    g_object_unref(loopback);
    if (!listening) {
        *problem = error != nullptr ? error->message : "no listening socket";
        g_clear_error(&error);
        return false;
    }
    impl_->port = g_inet_socket_address_get_port(G_INET_SOCKET_ADDRESS(bound));
    g_object_unref(bound);
    impl_->accepting = std::thread([this] { impl_->acceptAll(); });
    return true;
}

int TlsRelay::port() const { return impl_->port; }

std::string TlsRelay::certificateFile() const { return impl_->dir.file("certificate.pem"); }

int TlsRelay::handshakes() const { return impl_->handshakes.load(); }
