#include "libs/recorder/rtmp_chunks.h"

#include <algorithm>

#include "libs/recorder/big_endian.h"

namespace rtmp {
namespace {
// A time this large or larger goes in the four bytes after the header.
constexpr uint32_t kExtendedTime = 0xFFFFFF;
// A full header: the basic header, the message header and an extended time.
constexpr size_t kMostHeaderBytes = 1 + 11 + 4;
// The most one write gathers; the kernel takes at most 1024 slices at once.
constexpr size_t kMostVectors = 1000;
constexpr size_t kHeaderRoom = 64 * 1024;
// Servers send short messages; longer ones are taken for nonsense.
constexpr uint32_t kLongestReceived = 1 << 20;

// The first chunk's header (type 0: everything said); its length.
size_t firstHeader(uint8_t* out, const Message& message) {
    uint8_t* at = out;
    const bool extended = message.time >= kExtendedTime;
    *at++ = message.chunkStream;  // type 0, the chunk stream in one byte
    at = putBigEndian(at, extended ? kExtendedTime : message.time, 3);
    at = putBigEndian(at, static_cast<uint32_t>(message.size), 3);
    *at++ = message.type;
    for (int i = 0; i < 4; ++i) {  // the message stream, little-endian
        *at++ = static_cast<uint8_t>(message.streamId >> (8 * i));
    }
    if (extended) {
        at = putBigEndian(at, message.time, 4);
    }
    return static_cast<size_t>(at - out);
}

// A later chunk's header (type 3: the same as before), with the extended
// time again when the first had one.
size_t nextHeader(uint8_t* out, const Message& message) {
    out[0] = static_cast<uint8_t>(0xC0 | message.chunkStream);
    if (message.time < kExtendedTime) {
        return 1;
    }
    putBigEndian(out + 1, message.time, 4);
    return 5;
}

size_t chunkCount(const Message& message, size_t chunkSize) {
    return std::max<size_t>(1, (message.size + chunkSize - 1) / chunkSize);
}
}  // namespace

void appendChunks(std::vector<uint8_t>& out, const Message& message, size_t chunkSize) {
    uint8_t header[kMostHeaderBytes];
    size_t done = 0;
    for (size_t i = 0; i < chunkCount(message, chunkSize); ++i) {
        const size_t headerBytes =
            i == 0 ? firstHeader(header, message) : nextHeader(header, message);
        out.insert(out.end(), header, header + headerBytes);
        const size_t part = std::min(chunkSize, message.size - done);
        out.insert(out.end(), message.data + done, message.data + done + part);
        done += part;
    }
}

ChunkGather::ChunkGather(size_t chunkSize) : chunkSize_(chunkSize) {
    headers_.reserve(kHeaderRoom);
    vectors_.reserve(kMostVectors);
}

bool ChunkGather::add(const Message& message) {
    const size_t chunks = chunkCount(message, chunkSize_);
    if (vectors_.size() + 2 * chunks > kMostVectors ||
        headers_.size() + chunks * kMostHeaderBytes > headers_.capacity()) {
        return false;
    }
    size_t done = 0;
    for (size_t i = 0; i < chunks; ++i) {
        const size_t at = headers_.size();
        headers_.resize(at + kMostHeaderBytes);
        const size_t headerBytes = i == 0 ? firstHeader(headers_.data() + at, message)
                                          : nextHeader(headers_.data() + at, message);
        headers_.resize(at + headerBytes);
        const size_t part = std::min(chunkSize_, message.size - done);
        vectors_.push_back({headers_.data() + at, headerBytes});
        if (part > 0) {
            vectors_.push_back({message.data + done, part});
        }
        done += part;
        bytes_ += headerBytes + part;
    }
    return true;
}

void ChunkGather::clear() {
    headers_.clear();
    vectors_.clear();
    bytes_ = 0;
}

bool ChunkReader::feed(const uint8_t* data, size_t size,
                       const std::function<void(const Received&)>& take) {
    input_.insert(input_.end(), data, data + size);
    size_t used = 0;
    for (;;) {
        const Step step = chunk(&used, take);
        if (step == Step::kBad) {
            return false;
        }
        if (step == Step::kNeedMore) {
            break;
        }
    }
    input_.erase(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(used));
    return true;
}

ChunkReader::Step ChunkReader::chunk(size_t* used,
                                     const std::function<void(const Received&)>& take) {
    const uint8_t* at = input_.data() + *used;
    const size_t have = input_.size() - *used;
    if (have < 1) {
        return Step::kNeedMore;
    }
    const int format = at[0] >> 6;
    uint32_t id = at[0] & 0x3F;
    size_t read = 1;
    if (id < 2) {
        read += id == 0 ? 1 : 2;
        if (have < read) {
            return Step::kNeedMore;
        }
        id = id == 0 ? 64u + at[1] : 64u + at[1] + 256u * at[2];
    }
    static constexpr size_t kMessageHeader[] = {11, 7, 3, 0};
    if (have < read + kMessageHeader[format]) {
        return Step::kNeedMore;
    }
    Stream& stream = streams_[id];
    if (format != 0 && !stream.known) {
        return Step::kBad;
    }
    const uint8_t* header = at + read;
    const bool starting = stream.payload.empty();
    uint32_t timeField = 0;
    if (format <= 2) {
        timeField = static_cast<uint32_t>(readBigEndian(header, 3));
        stream.extended = timeField == kExtendedTime;
    }
    if (format <= 1) {
        stream.length = static_cast<uint32_t>(readBigEndian(header + 3, 3));
        stream.type = header[6];
    }
    if (format == 0) {
        stream.streamId = static_cast<uint32_t>(header[7] | header[8] << 8 | header[9] << 16 |
                                                static_cast<uint32_t>(header[10]) << 24);
    }
    read += kMessageHeader[format];
    if (stream.extended) {
        if (have < read + 4) {
            return Step::kNeedMore;
        }
        timeField = static_cast<uint32_t>(readBigEndian(at + read, 4));
        read += 4;
    }
    if (stream.length > kLongestReceived) {
        return Step::kBad;
    }
    const size_t part = std::min<size_t>(chunkSize_, stream.length - stream.payload.size());
    if (have < read + part) {
        return Step::kNeedMore;
    }
    if (starting) {
        if (format == 0) {
            stream.time = timeField;
            stream.delta = 0;
        } else {
            if (format != 3) {
                stream.delta = timeField;
            }
            stream.time += stream.delta;
        }
    }
    stream.known = true;
    stream.payload.insert(stream.payload.end(), at + read, at + read + part);
    *used += read + part;
    if (stream.payload.size() < stream.length) {
        return Step::kDone;
    }
    Received message;
    message.type = stream.type;
    message.time = stream.time;
    message.streamId = stream.streamId;
    message.payload.swap(stream.payload);
    if (message.type == kSetChunkSize && message.payload.size() >= 4) {
        chunkSize_ = std::clamp<uint32_t>(
            static_cast<uint32_t>(readBigEndian(message.payload.data(), 4)) & 0x7FFFFFFF, 1,
            kLongestReceived);
    }
    take(message);
    return Step::kDone;
}

}  // namespace rtmp
