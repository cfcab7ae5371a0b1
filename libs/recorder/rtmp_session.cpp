#include "libs/recorder/rtmp_session.h"

#include <linux/tcp.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <array>
#include <cstdlib>

#include "libs/recorder/amf0.h"
#include "libs/recorder/big_endian.h"
#include "libs/recorder/flv_layout.h"

namespace {
constexpr size_t kHandshakeBytes = 1536;
constexpr uint8_t kRtmpVersion = 3;
constexpr size_t kReadBytes = 4096;
constexpr const char* kFlashVersion = "FMLE/3.0 (compatible; Lumora)";
// User control events: the server's ping and the answer it waits for.
constexpr uint16_t kPingRequest = 6;
constexpr uint16_t kPingResponse = 7;

LiveEnding ending(LiveStopReason reason, std::string text) {
    LiveEnding end;
    end.reason = reason;
    end.text = std::move(text);
    return end;
}

// The application: the address's path after the host, without its "/".
std::string applicationOf(const LiveTarget& target) {
    const size_t scheme = target.address.find("://");
    const size_t slash = target.address.find('/', scheme == std::string::npos ? 0 : scheme + 3);
    return slash == std::string::npos ? std::string() : target.address.substr(slash + 1);
}

std::array<uint8_t, 4> bigEndianBytes(uint32_t value) {
    std::array<uint8_t, 4> bytes;
    putBigEndian(bytes.data(), value, 4);
    return bytes;
}

// A protocol or user control message of the connection itself (stream 0).
void appendControl(std::vector<uint8_t>& out, uint8_t type, const uint8_t* payload, size_t size) {
    rtmp::Message message;
    message.type = type;
    message.chunkStream = rtmp::kControlStream;
    message.data = payload;
    message.size = size;
    rtmp::appendChunks(out, message, RtmpSession::kChunkSize);
}

// A command's name, its transaction, and the information object that
// answers and onStatus carry last.
struct Command {
    std::string name;
    double transaction = -1;
    std::string code;
    std::string level;
    std::string description;
    std::optional<double> streamId;  // createStream's answer
};

std::optional<Command> readCommand(const std::vector<uint8_t>& payload) {
    auto values = amf0::readAll(payload.data(), payload.size());
    if (!values || values->size() < 2 || (*values)[0].kind != amf0::Value::Kind::String) {
        return std::nullopt;
    }
    Command command;
    command.name = (*values)[0].text;
    command.transaction = (*values)[1].number;
    for (size_t i = 2; i < values->size(); ++i) {
        const amf0::Value& value = (*values)[i];
        if (value.kind == amf0::Value::Kind::Object) {
            command.code = value.stringProperty("code").value_or(command.code);
            command.level = value.stringProperty("level").value_or(command.level);
            command.description = value.stringProperty("description").value_or("");
        } else if (value.kind == amf0::Value::Kind::Number) {
            command.streamId = value.number;
        }
    }
    return command;
}

std::string said(const Command& command) {
    return command.code + (command.description.empty() ? "" : " (" + command.description + ")");
}
}  // namespace

RtmpSession::RtmpSession(GCancellable* cancel) : cancel_(cancel) { readBuffer_.resize(kReadBytes); }

RtmpSession::~RtmpSession() {
    if (connection_ != nullptr) {
        g_object_unref(connection_);
    }
    if (authorities_ != nullptr) {
        g_object_unref(authorities_);
    }
}

void RtmpSession::onClientEvent(GSocketClient*, GSocketClientEvent event, GSocketConnectable*,
                                GIOStream* connection, gpointer self) {
    auto* session = static_cast<RtmpSession*>(self);
    if (event == G_SOCKET_CLIENT_CONNECTED) {
        session->tcpConnected_ = true;
    } else if (event == G_SOCKET_CLIENT_TLS_HANDSHAKING && session->authorities_ != nullptr) {
        g_tls_connection_set_database(G_TLS_CONNECTION(connection), session->authorities_);
    }
}

std::optional<LiveEnding> RtmpSession::failure(GError* error, const char* doing) const {
    LiveStopReason reason = LiveStopReason::Failed;
    if (error->domain == G_RESOLVER_ERROR) {
        reason = LiveStopReason::UnknownHost;
    } else if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CONNECTION_REFUSED)) {
        reason = LiveStopReason::ConnectionRefused;
    } else if (error->domain == G_TLS_ERROR ||
               (kind_ == LiveTarget::Kind::Rtmps && tcpConnected_ && connection_ == nullptr)) {
        // The TCP connection stood and TLS was not agreed on it (a port
        // that does not speak TLS keeps silent at the greeting).
        reason = LiveStopReason::TlsFailure;
    } else if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_TIMED_OUT) ||
               g_error_matches(error, G_IO_ERROR, G_IO_ERROR_HOST_UNREACHABLE) ||
               g_error_matches(error, G_IO_ERROR, G_IO_ERROR_NETWORK_UNREACHABLE)) {
        reason = LiveStopReason::NoAnswer;
    }
    LiveEnding end = ending(reason, std::string(doing) + ": " + error->message);
    g_error_free(error);
    return end;
}

std::optional<LiveEnding> RtmpSession::open(const LiveTarget& target) {
    kind_ = target.kind;
    const char* authorityFile = std::getenv("SSL_CERT_FILE");
    if (kind_ == LiveTarget::Kind::Rtmps && authorityFile != nullptr && *authorityFile != '\0') {
        GError* error = nullptr;
        authorities_ = g_tls_file_database_new(authorityFile, &error);
        if (authorities_ == nullptr) {
            LiveEnding end =
                ending(LiveStopReason::TlsFailure, std::string("SSL_CERT_FILE: ") + error->message);
            g_error_free(error);
            return end;
        }
    }
    GSocketClient* client = g_socket_client_new();
    g_socket_client_set_timeout(client, kSetupLimit);
    g_socket_client_set_tls(client, target.kind == LiveTarget::Kind::Rtmps);
    g_signal_connect(client, "event", G_CALLBACK(onClientEvent), this);
    GSocketConnectable* address =
        g_network_address_new(target.host.c_str(), static_cast<guint16>(target.serverPort()));
    GError* error = nullptr;
    connection_ = g_socket_client_connect(client, address, cancel_, &error);
    g_object_unref(address);
    g_object_unref(client);
    if (connection_ == nullptr) {
        return failure(error, "connecting");
    }
    in_ = g_io_stream_get_input_stream(G_IO_STREAM(connection_));
    out_ = g_io_stream_get_output_stream(G_IO_STREAM(connection_));
    return std::nullopt;
}

// The plain handshake: C0 and C1 (a time, zeros and random bytes), then S1
// echoed as C2 once S0, S1 and S2 came.
std::optional<LiveEnding> RtmpSession::shakeHands() {
    std::vector<uint8_t> hello(1 + kHandshakeBytes, 0);
    hello[0] = kRtmpVersion;
    for (size_t i = 9; i < hello.size(); ++i) {
        hello[i] = static_cast<uint8_t>(g_random_int());
    }
    if (auto failed = writeBytes(hello)) {
        return failed;
    }
    std::vector<uint8_t> answer(1 + 2 * kHandshakeBytes);
    gsize got = 0;
    GError* error = nullptr;
    if (!g_input_stream_read_all(in_, answer.data(), answer.size(), &got, cancel_, &error)) {
        return failure(error, "the handshake");
    }
    if (got < answer.size()) {
        return ending(LiveStopReason::Failed, "the server closed the connection at the handshake");
    }
    if (answer[0] != kRtmpVersion) {
        return ending(LiveStopReason::Failed, "the server answered the handshake with version " +
                                                  std::to_string(answer[0]));
    }
    return writeBytes(
        std::vector<uint8_t>(answer.begin() + 1, answer.begin() + 1 + kHandshakeBytes));
}

std::optional<LiveEnding> RtmpSession::publish(const LiveTarget& target, const std::string& key) {
    streamName_ = key;
    // Each step only when the one before went through.
    std::optional<LiveEnding> failed = open(target);
    failed = failed ? failed : shakeHands();
    failed = failed ? failed : connectApplication(target);
    failed = failed ? failed : createStream();
    failed = failed ? failed : startPublishing();
    if (failed) {
        return failed;
    }
    // From now on a write waits for as long as the server does not read;
    // the stream's own watch decides when that is too long.
    g_socket_set_timeout(g_socket_connection_get_socket(connection_), 0);
    publishing_ = true;
    return std::nullopt;
}

std::vector<uint8_t> RtmpSession::commandNamed(const char* name) {
    std::vector<uint8_t> payload;
    amf0::putString(payload, name);
    amf0::putNumber(payload, ++transaction_);
    return payload;
}

std::optional<LiveEnding> RtmpSession::connectApplication(const LiveTarget& target) {
    if (auto failed = control(rtmp::kSetChunkSize, kChunkSize)) {
        return failed;
    }
    std::vector<uint8_t> connect = commandNamed("connect");
    amf0::beginObject(connect);
    for (const auto& [name, value] :
         {std::pair<const char*, std::string>{"app", applicationOf(target)},
          {"type", "nonprivate"},
          {"flashVer", kFlashVersion},
          {"tcUrl", target.address}}) {
        amf0::putName(connect, name);
        amf0::putString(connect, value);
    }
    amf0::endObject(connect);
    Answer answer;
    if (auto failed = command(connect, 0)) {
        return failed;
    }
    if (auto failed = awaitAnswer(transaction_, &answer)) {
        return failed;
    }
    std::optional<Command> connected = readCommand(answer);
    if (!connected || connected->name != "_result") {
        const std::string code = connected ? said(*connected) : "no answer";
        return ending(code.find("Connect.Rejected") != std::string::npos
                          ? LiveStopReason::KeyRefused
                          : LiveStopReason::Failed,
                      "connect refused: " + code);
    }
    return std::nullopt;
}

std::optional<LiveEnding> RtmpSession::createStream() {
    for (const char* name : {"releaseStream", "FCPublish", "createStream"}) {
        std::vector<uint8_t> payload = commandNamed(name);
        amf0::putNull(payload);
        if (std::string(name) != "createStream") {
            amf0::putString(payload, streamName_);
        }
        if (auto failed = command(payload, 0)) {
            return failed;
        }
    }
    Answer answer;
    if (auto failed = awaitAnswer(transaction_, &answer)) {
        return failed;
    }
    std::optional<Command> created = readCommand(answer);
    if (!created || created->name != "_result" || !created->streamId) {
        return ending(LiveStopReason::Failed,
                      "createStream failed: " + (created ? said(*created) : std::string("?")));
    }
    streamId_ = static_cast<uint32_t>(*created->streamId);
    return std::nullopt;
}

std::optional<LiveEnding> RtmpSession::startPublishing() {
    std::vector<uint8_t> publish = commandNamed("publish");
    amf0::putNull(publish);
    amf0::putString(publish, streamName_);
    amf0::putString(publish, "live");
    if (auto failed = command(publish, streamId_)) {
        return failed;
    }
    Answer answer;
    if (auto failed = awaitAnswer(0, &answer)) {
        // nginx-rtmp closes the connection when its on_publish hook says no.
        if (serverClosed_) {
            failed->reason = LiveStopReason::KeyRefused;
            failed->text = "publish refused: " + failed->text;
        }
        return failed;
    }
    std::optional<Command> status = readCommand(answer);
    if (!status || status->code != "NetStream.Publish.Start") {
        const std::string code = status ? said(*status) : "?";
        // A server refuses a second publisher of a stream it still has; after
        // a loss that is mostly the lost connection's own stream, which the
        // server drops once it notices: not the key's fault.
        const bool taken = code.find("BadName") != std::string::npos;
        return ending(taken ? LiveStopReason::Failed : LiveStopReason::KeyRefused,
                      "publish denied: " + code);
    }
    return std::nullopt;
}

std::optional<LiveEnding> RtmpSession::command(const std::vector<uint8_t>& payload,
                                               uint32_t streamId) {
    rtmp::Message message;
    message.type = rtmp::kCommandAmf0;
    message.streamId = streamId;
    message.chunkStream = rtmp::kCommandStream;
    message.data = payload.data();
    message.size = payload.size();
    std::vector<uint8_t> bytes;
    rtmp::appendChunks(bytes, message, kChunkSize);
    return writeBytes(bytes);
}

std::optional<LiveEnding> RtmpSession::control(uint8_t type, uint32_t value) {
    const std::array<uint8_t, 4> payload = bigEndianBytes(value);
    std::vector<uint8_t> bytes;
    appendControl(bytes, type, payload.data(), payload.size());
    return writeBytes(bytes);
}

std::optional<LiveEnding> RtmpSession::writeBytes(const std::vector<uint8_t>& bytes) {
    gsize done = 0;
    GError* error = nullptr;
    if (!g_output_stream_write_all(out_, bytes.data(), bytes.size(), &done, cancel_, &error)) {
        return failure(error, "writing");
    }
    if (publishing_) {
        written_ += done;
    }
    return std::nullopt;
}

std::optional<LiveEnding> RtmpSession::awaitAnswer(double transaction, Answer* answer) {
    for (;;) {
        for (Answer& each : answers_) {
            std::optional<Command> command = readCommand(each);
            const bool answers =
                command &&
                (transaction > 0 ? (command->name == "_result" || command->name == "_error") &&
                                       command->transaction == transaction
                                 : command->name == "onStatus");
            if (answers) {
                *answer = std::move(each);
                answers_.clear();  // what came before answered earlier commands
                return std::nullopt;
            }
        }
        answers_.clear();
        GError* error = nullptr;
        const gssize got =
            g_input_stream_read(in_, readBuffer_.data(), readBuffer_.size(), cancel_, &error);
        if (got < 0) {
            return failure(error, "waiting for the server");
        }
        if (got == 0) {
            serverClosed_ = true;
            return ending(LiveStopReason::Failed, "the server closed the connection");
        }
        if (auto failed = takeIn(readBuffer_.data(), static_cast<size_t>(got))) {
            return failed;
        }
        if (auto failed = flushReplies()) {
            return failed;
        }
    }
}

std::optional<LiveEnding> RtmpSession::takeIn(const uint8_t* data, size_t size) {
    received_ += size;
    if (!reader_.feed(data, size, [this](const rtmp::Received& message) { handle(message); })) {
        return ending(LiveStopReason::Failed, "the server sent what is not RTMP");
    }
    if (windowSize_ > 0 && received_ - acknowledged_ >= windowSize_) {
        acknowledged_ = received_;
        const std::array<uint8_t, 4> sequence = bigEndianBytes(static_cast<uint32_t>(received_));
        appendControl(replies_, rtmp::kAcknowledgement, sequence.data(), sequence.size());
    }
    return std::nullopt;
}

void RtmpSession::handle(const rtmp::Received& message) {
    const std::vector<uint8_t>& payload = message.payload;
    switch (message.type) {
        case rtmp::kCommandAmf0:
            answers_.push_back(payload);
            break;
        case rtmp::kCommandAmf3:  // AMF0 behind a format byte
            if (!payload.empty()) {
                answers_.emplace_back(payload.begin() + 1, payload.end());
            }
            break;
        case rtmp::kWindowAckSize:
            if (payload.size() >= 4) {
                windowSize_ = static_cast<uint32_t>(readBigEndian(payload.data(), 4));
            }
            break;
        case rtmp::kUserControl:
            if (payload.size() >= 6 && readBigEndian(payload.data(), 2) == kPingRequest) {
                const uint8_t pong[6] = {0,          kPingResponse, payload[2],
                                         payload[3], payload[4],    payload[5]};
                appendControl(replies_, rtmp::kUserControl, pong, sizeof pong);
            }
            break;
        default:
            break;  // chunk sizes are the reader's; acknowledgements need nothing
    }
}

std::optional<LiveEnding> RtmpSession::flushReplies() {
    if (replies_.empty()) {
        return std::nullopt;
    }
    std::optional<LiveEnding> failed = writeBytes(replies_);
    replies_.clear();
    return failed;
}

std::optional<LiveEnding> RtmpSession::send(GstBuffer* const* tags, size_t count) {
    std::array<GstMapInfo, kMostTags> maps;
    std::array<GstBuffer*, kMostTags> mappedTags;
    size_t mapped = 0;
    std::optional<LiveEnding> failed;
    auto writeGathered = [&] {
        gsize done = 0;
        GError* error = nullptr;
        if (gather_.vectorCount() > 0 &&
            !g_output_stream_writev_all(out_, gather_.vectors(), gather_.vectorCount(), &done,
                                        cancel_, &error)) {
            failed = failure(error, "sending");
        }
        written_ += done;
        gather_.clear();
    };
    gather_.clear();
    for (size_t i = 0; i < count && i < kMostTags && !failed; ++i) {
        GstMapInfo& map = maps[mapped];
        if (!gst_buffer_map(tags[i], &map, GST_MAP_READ)) {
            continue;
        }
        mappedTags[mapped++] = tags[i];
        const uint8_t* tag = map.data;
        if (map.size < flv::kTagHeaderBytes || tag[0] == 'F') {
            continue;  // the file header: RTMP has none
        }
        rtmp::Message message;
        message.type = tag[0];
        message.size = flv::tagDataSize(tag);
        message.time = flv::tagTime(tag);
        message.streamId = streamId_;
        message.data = tag + flv::kTagHeaderBytes;
        if (flv::kTagHeaderBytes + message.size > map.size) {
            continue;
        }
        if (message.type == flv::kScriptTag) {
            metadata_.clear();
            amf0::putString(metadata_, "@setDataFrame");
            metadata_.insert(metadata_.end(), message.data, message.data + message.size);
            message.data = metadata_.data();
            message.size = metadata_.size();
            message.chunkStream = rtmp::kDataStream;
        } else {
            message.chunkStream =
                message.type == flv::kSoundTag ? rtmp::kSoundStream : rtmp::kPictureStream;
        }
        if (!gather_.add(message)) {
            writeGathered();
            gather_.add(message);
        }
    }
    if (!failed) {
        writeGathered();
    }
    for (size_t i = 0; i < mapped; ++i) {
        gst_buffer_unmap(mappedTags[i], &maps[i]);
    }
    return failed;
}

std::optional<LiveEnding> RtmpSession::answerServer() {
    if (!G_IS_POLLABLE_INPUT_STREAM(in_)) {
        return std::nullopt;
    }
    for (;;) {
        GError* error = nullptr;
        const gssize got = g_pollable_input_stream_read_nonblocking(
            G_POLLABLE_INPUT_STREAM(in_), readBuffer_.data(), readBuffer_.size(), cancel_, &error);
        if (got < 0 && g_error_matches(error, G_IO_ERROR, G_IO_ERROR_WOULD_BLOCK)) {
            g_error_free(error);
            break;
        }
        if (got < 0) {
            return failure(error, "reading from the server");
        }
        if (got == 0) {
            return ending(LiveStopReason::Failed, "the server closed the connection");
        }
        if (auto failed = takeIn(readBuffer_.data(), static_cast<size_t>(got))) {
            return failed;
        }
    }
    for (const Answer& each : answers_) {
        std::optional<Command> status = readCommand(each);
        if (status && status->name == "onStatus" && status->level == "error") {
            answers_.clear();
            return ending(LiveStopReason::Failed, "the server ended the stream: " + said(*status));
        }
    }
    answers_.clear();
    return flushReplies();
}

std::optional<LiveEnding> RtmpSession::unpublish() {
    for (const char* name : {"FCUnpublish", "deleteStream"}) {
        std::vector<uint8_t> payload = commandNamed(name);
        amf0::putNull(payload);
        if (std::string(name) == "FCUnpublish") {
            amf0::putString(payload, streamName_);
        } else {
            amf0::putNumber(payload, streamId_);
        }
        if (auto failed = command(payload, 0)) {
            return failed;
        }
    }
    GError* error = nullptr;
    if (!g_io_stream_close(G_IO_STREAM(connection_), cancel_, &error)) {
        return failure(error, "closing");
    }
    return std::nullopt;
}

std::optional<uint64_t> RtmpSession::bytesAcknowledged() const {
    if (connection_ == nullptr) {
        return std::nullopt;
    }
    tcp_info info{};
    socklen_t length = sizeof info;
    const int fd = g_socket_get_fd(g_socket_connection_get_socket(connection_));
    if (::getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &length) != 0) {
        return std::nullopt;
    }
    return info.tcpi_bytes_acked;
}
