#pragma once

#include <gio/gio.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <vector>

// RTMP's chunk stream: messages cut into chunks of at most the chunk size,
// each behind a header naming its chunk stream.
namespace rtmp {

// Message types a publisher sends or reads.
enum MessageType : uint8_t {
    kSetChunkSize = 1,
    kAbort = 2,
    kAcknowledgement = 3,
    kUserControl = 4,
    kWindowAckSize = 5,
    kSetPeerBandwidth = 6,
    kAudio = 8,
    kVideo = 9,
    kDataAmf3 = 15,
    kCommandAmf3 = 17,
    kDataAmf0 = 18,
    kCommandAmf0 = 20,
};

// The chunk streams this publisher sends on: protocol control, commands,
// script data, sound and pictures each on their own, as other publishers do.
enum ChunkStream : uint8_t {
    kControlStream = 2,
    kCommandStream = 3,
    kDataStream = 4,
    kSoundStream = 5,
    kPictureStream = 6,
};

struct Message {
    uint8_t type = 0;
    uint32_t time = 0;      // milliseconds
    uint32_t streamId = 0;  // the message stream; 0 for the connection's own
    uint8_t chunkStream = kCommandStream;
    const uint8_t* data = nullptr;
    size_t size = 0;
};

// The chunks of `message`, appended to `out`.
void appendChunks(std::vector<uint8_t>& out, const Message& message, size_t chunkSize);

// Gathers the chunks of many messages for one vectored write without
// copying their data: the headers go into memory of its own, reserved once,
// and each chunk's data is a slice of the message's.
class ChunkGather {
public:
    explicit ChunkGather(size_t chunkSize);

    // Adds `message`; false, adding nothing, when this write has no room
    // left for its headers (write what is gathered, clear, and add again).
    // The message's data must stay until the write.
    bool add(const Message& message);
    void clear();

    // Mutable: a vectored write may change them as it goes.
    GOutputVector* vectors() { return vectors_.data(); }
    size_t vectorCount() const { return vectors_.size(); }
    size_t bytes() const { return bytes_; }

private:
    size_t chunkSize_;
    std::vector<uint8_t> headers_;
    std::vector<GOutputVector> vectors_;
    size_t bytes_ = 0;
};

// A message read from the server, whole.
struct Received {
    uint8_t type = 0;
    uint32_t time = 0;
    uint32_t streamId = 0;
    std::vector<uint8_t> payload;
};

// Puts the server's chunks back together into messages, however the bytes
// were cut on their way. Set Chunk Size takes effect from the next chunk.
class ChunkReader {
public:
    // Reads what `data` completes; false when the server sent what no
    // server sends (a chunk stream out of nowhere, a message too long).
    bool feed(const uint8_t* data, size_t size, const std::function<void(const Received&)>& take);

private:
    struct Stream {
        uint32_t time = 0;
        uint32_t delta = 0;
        uint32_t length = 0;
        uint8_t type = 0;
        uint32_t streamId = 0;
        bool extended = false;
        bool known = false;
        std::vector<uint8_t> payload;
    };
    enum class Step { kDone, kNeedMore, kBad };
    // One chunk from the front of the input.
    Step chunk(size_t* used, const std::function<void(const Received&)>& take);

    std::vector<uint8_t> input_;
    std::map<uint32_t, Stream> streams_;
    size_t chunkSize_ = 128;
};

}  // namespace rtmp
