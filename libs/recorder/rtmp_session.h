#pragma once

#include <gio/gio.h>
#include <gst/gst.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "libs/recorder/live_failure.h"
#include "libs/recorder/live_target.h"
#include "libs/recorder/rtmp_chunks.h"

// One RTMP connection that publishes a stream, driven by one thread: it
// connects (through TLS for rtmps://), shakes hands, asks the server to
// connect to the address's application, creates a stream and publishes it
// under the key; then sends FLV tags as RTMP messages, several in one write,
// answers the server's pings and acknowledges what it reads; at the end it
// unpublishes and deletes the stream, and closes.
//
// For rtmps:// the server's certificate is checked against the system's
// authorities, or those of the file the SSL_CERT_FILE variable names (as
// for other TLS programs, where a company or a test has its own).
//
// Until the server has accepted the stream every step waits at most
// kSetupLimit for the server; after that a write waits as long as the
// server does not read, and `cancel` (given at construction, cancellable
// from any thread) ends any wait.
class RtmpSession {
public:
    static constexpr unsigned kSetupLimit = 5;  // seconds
    // RTMP's first chunk size, 128 bytes, would cut a 1500 kbit/s stream
    // into about 1,500 chunks a second; other publishers send 4 KiB.
    static constexpr size_t kChunkSize = 4096;
    static constexpr size_t kMostTags = 128;  // in one send

    explicit RtmpSession(GCancellable* cancel);
    ~RtmpSession();
    RtmpSession(const RtmpSession&) = delete;
    RtmpSession& operator=(const RtmpSession&) = delete;

    // Connects and publishes `key` at `target`; why not, when it could not.
    std::optional<LiveEnding> publish(const LiveTarget& target, const std::string& key);
    // Sends `count` (at most kMostTags) FLV tags, each whole in its buffer (an FLV file header
    // is passed over; onMetaData goes as the stream's @setDataFrame).
    std::optional<LiveEnding> send(GstBuffer* const* tags, size_t count);
    // Reads what the server sent since, without waiting, and answers it.
    std::optional<LiveEnding> answerServer();
    // Tells the server the stream ended and closes the connection.
    std::optional<LiveEnding> unpublish();

    // Bytes written since the server accepted the stream.
    uint64_t bytesWritten() const { return written_; }
    // Bytes of the whole connection the server's side acknowledged (TCP):
    // what really left, where the kernel's socket buffers take megabytes
    // before a write waits; empty before a connection stands.
    std::optional<uint64_t> bytesAcknowledged() const;

private:
    using Answer = std::vector<uint8_t>;

    // The steps of publish, in order.
    std::optional<LiveEnding> open(const LiveTarget& target);
    std::optional<LiveEnding> shakeHands();
    std::optional<LiveEnding> connectApplication(const LiveTarget& target);
    std::optional<LiveEnding> createStream();
    std::optional<LiveEnding> startPublishing();
    // A command's payload begun: its name and the next transaction.
    std::vector<uint8_t> commandNamed(const char* name);
    // Sends one command of the connection (stream 0) or of the stream.
    std::optional<LiveEnding> command(const std::vector<uint8_t>& payload, uint32_t streamId);
    std::optional<LiveEnding> control(uint8_t type, uint32_t value);
    std::optional<LiveEnding> writeBytes(const std::vector<uint8_t>& bytes);
    // Reads messages until the command answering `transaction` (or, for 0,
    // the stream's first onStatus) comes; its payload in *answer.
    std::optional<LiveEnding> awaitAnswer(double transaction, Answer* answer);
    // Takes in bytes read from the server; complete messages that are not
    // for awaitAnswer are answered here.
    std::optional<LiveEnding> takeIn(const uint8_t* data, size_t size);
    void handle(const rtmp::Received& message);
    std::optional<LiveEnding> flushReplies();
    std::optional<LiveEnding> failure(GError* error, const char* doing) const;
    // GSocketClient's progress: notes the TCP connection standing, and gives
    // the TLS handshake the authorities to check the server against.
    static void onClientEvent(GSocketClient* client, GSocketClientEvent event,
                              GSocketConnectable* address, GIOStream* connection, gpointer self);

    GCancellable* cancel_;
    LiveTarget::Kind kind_ = LiveTarget::Kind::Rtmp;
    GSocketConnection* connection_ = nullptr;
    GInputStream* in_ = nullptr;
    GOutputStream* out_ = nullptr;
    bool tcpConnected_ = false;
    GTlsDatabase* authorities_ = nullptr;  // SSL_CERT_FILE's, when set
    bool publishing_ = false;

    std::string streamName_;
    uint32_t streamId_ = 0;
    double transaction_ = 0;

    rtmp::ChunkReader reader_;
    rtmp::ChunkGather gather_{kChunkSize};
    std::vector<Answer> answers_;    // commands read, for awaitAnswer
    std::vector<uint8_t> replies_;   // pongs and acknowledgements to send
    std::vector<uint8_t> metadata_;  // @setDataFrame, until written
    std::vector<uint8_t> readBuffer_;
    uint64_t received_ = 0;
    uint64_t acknowledged_ = 0;
    uint32_t windowSize_ = 0;
    uint64_t written_ = 0;
    bool serverClosed_ = false;
};
