#include <gst/gst.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "libs/recorder/amf0.h"
#include "libs/recorder/flv_tags.h"
#include "libs/recorder/live_target.h"
#include "libs/recorder/rtmp_chunks.h"
#include "libs/recorder/rtmp_publisher.h"
#include "tests/support/eventually.h"

// The publisher against a server of the test's own that answers by a script
// and speaks RTMP the way servers may but nginx does not: its own small
// chunk size, a window of acknowledgement, a ping, each answer written a
// byte at a time.

namespace {
using namespace std::chrono_literals;

const std::string kKey = "theKeyOfThisTest";
constexpr size_t kServerChunk = 7;
constexpr uint32_t kServerWindow = 100;
constexpr uint8_t kPing[] = {0, 6, 1, 2, 3, 4};  // a ping request with its time
constexpr size_t kHandshakeBytes = 1536;

// One connection's worth of a server: the handshake, then the answers the
// script gives to connect, createStream and publish.
class ScriptedServer {
public:
    enum class Script {
        kPublishStarts,
        kPublishDenied,
        kNameTaken,
        kConnectRejected,
        kClosesOnPublish,
        kOtherVersion,
    };

    explicit ScriptedServer(Script script) : script_(script) {
        listening_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(listening_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            ::listen(listening_, 1) == 0 &&
            ::getsockname(listening_, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
            port_ = ntohs(address.sin_port);
        }
        thread_ = std::thread([this] { serve(); });
    }
    ~ScriptedServer() {
        join();
        ::close(listening_);
    }
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    std::string address() const {
        return "rtmp://127.0.0.1:" + std::to_string(port_) + "/live/more";
    }
    // Waits (bounded) until the connection ended; then everything read.
    void join() {
        if (thread_.joinable()) {
            thread_.join();
        }
    }
    std::vector<rtmp::Received> received() {
        std::lock_guard<std::mutex> guard(lock_);
        return received_;
    }
    bool echoedHandshake() const { return echoed_; }
    bool closedByClient() const { return closedByClient_; }

private:
    // Each connection is over within this time, whatever the client does.
    static constexpr int kLongestWaitMs = 20000;

    bool readAll(int fd, uint8_t* data, size_t size) {
        size_t done = 0;
        while (done < size) {
            pollfd ready{fd, POLLIN, 0};
            if (::poll(&ready, 1, kLongestWaitMs) != 1) {
                return false;
            }
            const ssize_t got = ::read(fd, data + done, size - done);
            if (got <= 0) {
                return false;
            }
            done += static_cast<size_t>(got);
        }
        return true;
    }

    // A byte a write, so that the client gets its answers cut everywhere.
    void writeSlowly(int fd, const std::vector<uint8_t>& bytes) {
        for (uint8_t byte : bytes) {
            if (::send(fd, &byte, 1, MSG_NOSIGNAL) != 1) {
                return;
            }
        }
    }

    void sendMessage(int fd, uint8_t type, uint32_t streamId, const std::vector<uint8_t>& payload) {
        rtmp::Message message;
        message.type = type;
        message.streamId = streamId;
        message.chunkStream =
            type == rtmp::kCommandAmf0 ? rtmp::kCommandStream : rtmp::kControlStream;
        message.data = payload.data();
        message.size = payload.size();
        std::vector<uint8_t> bytes;
        rtmp::appendChunks(bytes, message, chunk_);
        writeSlowly(fd, bytes);
    }

    void answer(int fd, const char* name, double transaction, const char* level, const char* code,
                uint32_t streamId = 0, std::optional<double> number = std::nullopt) {
        std::vector<uint8_t> payload;
        amf0::putString(payload, name);
        amf0::putNumber(payload, transaction);
        amf0::putNull(payload);
        if (number) {
            amf0::putNumber(payload, *number);
        } else {
            amf0::beginObject(payload);
            amf0::putName(payload, "level");
            amf0::putString(payload, level);
            amf0::putName(payload, "code");
            amf0::putString(payload, code);
            amf0::putName(payload, "description");
            amf0::putString(payload, "as the script says");
            amf0::endObject(payload);
        }
        sendMessage(fd, rtmp::kCommandAmf0, streamId, payload);
    }

    // The reaction to one command; false when the script closes here.
    bool react(int fd, const rtmp::Received& message) {
        if (message.type != rtmp::kCommandAmf0) {
            return true;
        }
        const auto values = amf0::readAll(message.payload.data(), message.payload.size());
        if (!values || values->size() < 2) {
            return true;
        }
        const std::string name = (*values)[0].text;
        const double transaction = (*values)[1].number;
        if (name == "connect") {
            const bool rejected = script_ == Script::kConnectRejected;
            answer(fd, rejected ? "_error" : "_result", transaction, rejected ? "error" : "status",
                   rejected ? "NetConnection.Connect.Rejected" : "NetConnection.Connect.Success");
        } else if (name == "createStream") {
            answer(fd, "_result", transaction, "", "", 0, 1.0);
        } else if (name == "publish") {
            switch (script_) {
                case Script::kClosesOnPublish:
                    return false;
                case Script::kPublishDenied:
                    answer(fd, "onStatus", 0, "error", "NetStream.Publish.Denied", 1);
                    break;
                case Script::kNameTaken:
                    answer(fd, "onStatus", 0, "error", "NetStream.Publish.BadName", 1);
                    break;
                default:
                    answer(fd, "onStatus", 0, "status", "NetStream.Publish.Start", 1);
                    sendMessage(fd, rtmp::kUserControl, 0,
                                std::vector<uint8_t>(std::begin(kPing), std::end(kPing)));
            }
        }
        return true;
    }

    bool shakeHands(int fd) {
        std::vector<uint8_t> hello(1 + kHandshakeBytes);
        if (!readAll(fd, hello.data(), hello.size())) {
            return false;
        }
        std::vector<uint8_t> reply(1 + 2 * kHandshakeBytes, 0);
        reply[0] = script_ == Script::kOtherVersion ? 6 : 3;
        for (size_t i = 9; i <= kHandshakeBytes; ++i) {
            reply[i] = static_cast<uint8_t>(i * 13);
        }
        std::copy(hello.begin() + 1, hello.end(), reply.begin() + 1 + kHandshakeBytes);
        writeSlowly(fd, std::vector<uint8_t>(reply.begin(), reply.begin() + 9));
        ::send(fd, reply.data() + 9, reply.size() - 9, MSG_NOSIGNAL);
        std::vector<uint8_t> echo(kHandshakeBytes);
        if (!readAll(fd, echo.data(), echo.size())) {
            return false;
        }
        echoed_ = std::equal(echo.begin(), echo.end(), reply.begin() + 1);
        return true;
    }

    void serve() {
        pollfd waiting{listening_, POLLIN, 0};
        if (::poll(&waiting, 1, kLongestWaitMs) != 1) {
            return;
        }
        const int fd = ::accept(listening_, nullptr, nullptr);
        if (fd >= 0 && shakeHands(fd)) {
            converse(fd);
        }
        if (fd >= 0) {
            ::close(fd);
        }
    }

    void converse(int fd) {
        const uint8_t window[4] = {0, 0, 0, kServerWindow};
        sendMessage(fd, rtmp::kWindowAckSize, 0, std::vector<uint8_t>(window, window + 4));
        const uint8_t chunkSize[4] = {0, 0, 0, kServerChunk};
        sendMessage(fd, rtmp::kSetChunkSize, 0, std::vector<uint8_t>(chunkSize, chunkSize + 4));
        chunk_ = kServerChunk;
        rtmp::ChunkReader reader;
        std::vector<uint8_t> buffer(65536);
        for (;;) {
            pollfd ready{fd, POLLIN, 0};
            if (::poll(&ready, 1, kLongestWaitMs) != 1) {
                return;
            }
            const ssize_t got = ::read(fd, buffer.data(), buffer.size());
            if (got <= 0) {
                closedByClient_ = got == 0;
                return;
            }
            std::vector<rtmp::Received> messages;
            if (!reader.feed(buffer.data(), static_cast<size_t>(got),
                             [&](const rtmp::Received& m) { messages.push_back(m); })) {
                return;
            }
            for (const rtmp::Received& message : messages) {
                {
                    std::lock_guard<std::mutex> guard(lock_);
                    received_.push_back(message);
                }
                if (!react(fd, message)) {
                    return;
                }
            }
        }
    }

    Script script_;
    int listening_ = -1;
    int port_ = 0;
    size_t chunk_ = 128;
    bool echoed_ = false;          // written by the server's thread before join
    bool closedByClient_ = false;  // likewise
    std::mutex lock_;              // received_ between the server's thread and the test
    std::vector<rtmp::Received> received_;
    std::thread thread_;
};

GstBuffer* bufferOf(const std::vector<uint8_t>& bytes) {
    return gst_buffer_new_memdup(bytes.data(), bytes.size());
}

// One tag made by `append` into memory of its own.
template <typename Append>
GstBuffer* tagOf(size_t room, Append append) {
    std::vector<uint8_t> bytes;
    bytes.reserve(room);
    append(bytes);
    return bufferOf(bytes);
}

std::optional<std::vector<amf0::Value>> commandOf(const rtmp::Received& message) {
    return amf0::readAll(message.payload.data(), message.payload.size());
}

// The messages of `type`, in order.
std::vector<rtmp::Received> ofType(const std::vector<rtmp::Received>& all, uint8_t type) {
    std::vector<rtmp::Received> some;
    for (const rtmp::Received& message : all) {
        if (message.type == type) {
            some.push_back(message);
        }
    }
    return some;
}

std::vector<std::string> commandNames(const std::vector<rtmp::Received>& all) {
    std::vector<std::string> names;
    for (const rtmp::Received& message : ofType(all, rtmp::kCommandAmf0)) {
        auto values = commandOf(message);
        names.push_back(values && !values->empty() ? (*values)[0].text : "?");
    }
    return names;
}
}  // namespace

// A publish the server starts: the handshake echoed, connect names the
// application and the address, the stream is published under the key on
// the stream the server made, the server's ping is answered and what it
// sent acknowledged; pictures of several chunks and sound arrive whole, in
// the order given and at their times, after onMetaData as @setDataFrame;
// the end unpublishes, deletes the stream and closes. An interrupted wait
// for the ending comes back at once and empty.
TEST(RtmpPublisherTest, APublishedStreamArrivesWholeAndEndsCleanly) {
    gst_init(nullptr, nullptr);
    ScriptedServer server(ScriptedServer::Script::kPublishStarts);
    const auto target = parseLiveTarget(server.address());
    ASSERT_TRUE(target.has_value());
    std::vector<std::vector<uint8_t>> pictures, blocks;
    for (int i = 0; i < 3; ++i) {
        pictures.push_back(std::vector<uint8_t>(10000 + i, static_cast<uint8_t>(i + 1)));
        blocks.push_back(std::vector<uint8_t>(300, static_cast<uint8_t>(0xA0 + i)));
    }
    uint64_t sizeOfTags = 0;
    {
        RtmpPublisher publisher(*target, kKey);
        std::vector<GstBuffer*> tags;
        tags.push_back(tagOf(64, [](auto& out) { flv::appendHeader(out, true); }));
        tags.push_back(
            tagOf(1024, [](auto& out) { flv::appendMetadata(out, 640, 480, 15, true); }));
        for (int i = 0; i < 3; ++i) {
            tags.push_back(tagOf(20000, [&](auto& out) {
                flv::appendPicture(out, static_cast<uint32_t>(i * 66), i == 0, flv::Payload::kData,
                                   pictures[i].data(), pictures[i].size());
            }));
            tags.push_back(tagOf(1000, [&](auto& out) {
                flv::appendSound(out, static_cast<uint32_t>(i * 66 + 10), flv::Payload::kData,
                                 blocks[i].data(), blocks[i].size());
            }));
        }
        for (GstBuffer* tag : tags) {
            sizeOfTags += gst_buffer_get_size(tag);
            publisher.take(tag);
        }
        EXPECT_EQ(publisher.bytesTaken(), sizeOfTags);
        // The ping comes after the publish starts; the answer goes with the
        // next write, or after a nap without one.
        EXPECT_TRUE(eventually(
            [&] {
                for (const rtmp::Received& m : ofType(server.received(), rtmp::kUserControl)) {
                    if (m.payload == std::vector<uint8_t>{0, 7, 1, 2, 3, 4}) {
                        return true;
                    }
                }
                return false;
            },
            20s))
            << "no answer to the ping";
        // An interrupt ends the next wait for the ending at once (a wait of
        // a minute would not end within the test's bound), without one.
        publisher.interruptWait();
        const auto interrupted = std::chrono::steady_clock::now();
        EXPECT_FALSE(publisher.waitEnding(60s).has_value());
        EXPECT_LT(std::chrono::steady_clock::now() - interrupted, 30s) << "the interrupt was lost";
        publisher.end();
        const std::optional<LiveEnding> ending = publisher.waitEnding(20s);
        ASSERT_TRUE(ending.has_value());
        EXPECT_TRUE(ending->clean) << ending->text;
        EXPECT_GT(publisher.bytesOut(), sizeOfTags - 13) << "the tags and their chunk headers";
        EXPECT_EQ(publisher.bytesWaiting(false), 0u);
        EXPECT_EQ(publisher.bytesWaiting(true), 0u);
    }
    server.join();
    EXPECT_TRUE(server.echoedHandshake());
    EXPECT_TRUE(server.closedByClient());
    const std::vector<rtmp::Received> got = server.received();
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got[0].type, rtmp::kSetChunkSize);
    EXPECT_EQ(got[0].payload, (std::vector<uint8_t>{0, 0, 0x10, 0}));

    const std::vector<std::string> expected = {"connect",      "releaseStream", "FCPublish",
                                               "createStream", "publish",       "FCUnpublish",
                                               "deleteStream"};
    EXPECT_EQ(commandNames(got), expected);
    const std::vector<rtmp::Received> commands = ofType(got, rtmp::kCommandAmf0);
    ASSERT_EQ(commands.size(), expected.size());
    const auto connect = commandOf(commands[0]);
    ASSERT_TRUE(connect && connect->size() >= 3);
    EXPECT_EQ((*connect)[2].stringProperty("app"), "live/more");
    EXPECT_EQ((*connect)[2].stringProperty("tcUrl"), server.address());
    const auto publish = commandOf(commands[4]);
    ASSERT_TRUE(publish && publish->size() == 5);
    EXPECT_EQ((*publish)[3].text, kKey);
    EXPECT_EQ((*publish)[4].text, "live");
    EXPECT_EQ(commands[4].streamId, 1u) << "published on the stream the server made";
    const auto deleted = commandOf(commands[6]);
    ASSERT_TRUE(deleted && deleted->size() == 4);
    EXPECT_EQ((*deleted)[3].number, 1.0);

    const std::vector<rtmp::Received> acks = ofType(got, rtmp::kAcknowledgement);
    ASSERT_FALSE(acks.empty()) << "the server's window was " << kServerWindow << " bytes";
    EXPECT_GE(acks[0].payload.size(), 4u);

    const std::vector<rtmp::Received> data = ofType(got, rtmp::kDataAmf0);
    ASSERT_EQ(data.size(), 1u);
    const auto metadata = commandOf(data[0]);
    ASSERT_TRUE(metadata && metadata->size() == 3);
    EXPECT_EQ((*metadata)[0].text, "@setDataFrame");
    EXPECT_EQ((*metadata)[1].text, "onMetaData");
    EXPECT_EQ(data[0].streamId, 1u);

    const std::vector<rtmp::Received> video = ofType(got, rtmp::kVideo);
    const std::vector<rtmp::Received> audio = ofType(got, rtmp::kAudio);
    ASSERT_EQ(video.size(), 3u);
    ASSERT_EQ(audio.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(video[i].time, i * 66) << i;
        EXPECT_EQ(video[i].streamId, 1u);
        ASSERT_EQ(video[i].payload.size(), 5 + pictures[i].size()) << i;
        EXPECT_TRUE(
            std::equal(pictures[i].begin(), pictures[i].end(), video[i].payload.begin() + 5))
            << "picture " << i;
        EXPECT_EQ(audio[i].time, i * 66 + 10) << i;
        ASSERT_EQ(audio[i].payload.size(), 2 + blocks[i].size()) << i;
        EXPECT_TRUE(std::equal(blocks[i].begin(), blocks[i].end(), audio[i].payload.begin() + 2))
            << "block " << i;
    }
}

// Each way a server turns the publisher down ends the connection with the
// reason a person can act on, before anything counts as sent, and the
// words of the ending never hold the key.
TEST(RtmpPublisherTest, EachRefusalEndsWithItsReason) {
    gst_init(nullptr, nullptr);
    using Script = ScriptedServer::Script;
    struct Case {
        Script script;
        LiveStopReason reason;
        const char* what;
    };
    const Case cases[] = {
        {Script::kPublishDenied, LiveStopReason::KeyRefused, "publish denied"},
        {Script::kClosesOnPublish, LiveStopReason::KeyRefused, "closed at the publish"},
        {Script::kConnectRejected, LiveStopReason::KeyRefused, "connect rejected"},
        {Script::kNameTaken, LiveStopReason::Failed, "a stream the server still has"},
        {Script::kOtherVersion, LiveStopReason::Failed, "another RTMP version"},
    };
    for (const Case& c : cases) {
        ScriptedServer server(c.script);
        RtmpPublisher publisher(*parseLiveTarget(server.address()), kKey);
        publisher.take(tagOf(64, [](auto& out) { flv::appendHeader(out, false); }));
        const std::optional<LiveEnding> ending = publisher.waitEnding(30s);
        ASSERT_TRUE(ending.has_value()) << c.what;
        EXPECT_FALSE(ending->clean) << c.what;
        EXPECT_EQ(ending->reason, c.reason) << c.what << ": " << ending->text;
        EXPECT_EQ(ending->text.find(kKey), std::string::npos) << ending->text;
        EXPECT_EQ(publisher.bytesOut(), 0u) << c.what;
        publisher.cancel();
        server.join();
    }
}
