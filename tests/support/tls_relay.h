#pragma once

#include <memory>
#include <string>

// A TLS server in front of a plain TCP port of 127.0.0.1, as a service puts
// TLS in front of its RTMP server: each connection it accepts shakes hands
// with a certificate of its own for 127.0.0.1 (made by openssl when it
// starts) and is relayed byte for byte to the port and back.
class TlsRelay {
public:
    explicit TlsRelay(int targetPort);
    // Stops listening and ends every relayed connection.
    ~TlsRelay();
    TlsRelay(const TlsRelay&) = delete;
    TlsRelay& operator=(const TlsRelay&) = delete;

    // Makes the certificate and listens on a free port; false, with the
    // reason, when either fails.
    bool start(std::string* problem);
    int port() const;
    // The certificate, in PEM: what a client must trust to accept the relay.
    std::string certificateFile() const;
    // Connections whose TLS handshake the client completed.
    int handshakes() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
