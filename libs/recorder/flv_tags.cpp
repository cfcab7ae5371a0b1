#include "libs/recorder/flv_tags.h"

#include <cstring>
#include <string_view>

#include "libs/recorder/amf0.h"
#include "libs/recorder/big_endian.h"
#include "libs/recorder/flv_layout.h"

namespace flv {
namespace {
constexpr size_t kPictureIntro = 5;  // frame type and codec, packet type, composition time
constexpr size_t kSoundIntro = 2;    // format, packet type
constexpr uint8_t kAvc = 7;
// AAC, "44 kHz", 16 bits, stereo: what FLV asks of every AAC tag; the real
// rate and channels are in the AudioSpecificConfig.
constexpr uint8_t kAacSoundByte = 0xAF;

uint8_t* putTagHeader(uint8_t* at, uint8_t type, size_t dataSize, uint32_t ms) {
    *at++ = type;
    at = putBigEndian(at, dataSize, 3);
    at = putBigEndian(at, ms & 0xFFFFFF, 3);
    *at++ = static_cast<uint8_t>(ms >> 24);  // the time's upper byte
    return putBigEndian(at, 0, 3);           // stream id
}

uint8_t* putBytes(uint8_t* at, const uint8_t* data, size_t size) {
    if (size > 0) {
        std::memcpy(at, data, size);
    }
    return at + size;
}

// Room for `bytes` more at the end of `out`, within its capacity; null
// when they do not fit.
uint8_t* grow(std::vector<uint8_t>& out, size_t bytes) {
    if (out.capacity() - out.size() < bytes) {
        return nullptr;
    }
    const size_t at = out.size();
    out.resize(at + bytes);
    return out.data() + at;
}

void putBytes(std::vector<uint8_t>& out, const uint8_t* data, size_t size) {
    out.insert(out.end(), data, data + size);
}

// One name and number of onMetaData.
void putProperty(std::vector<uint8_t>& out, std::string_view name, double value) {
    amf0::putName(out, name);
    amf0::putNumber(out, value);
}
}  // namespace

uint32_t milliseconds(uint64_t nanoseconds) {
    return static_cast<uint32_t>((nanoseconds + 500'000) / 1'000'000);
}

void appendHeader(std::vector<uint8_t>& out, bool sound) {
    putBytes(out, reinterpret_cast<const uint8_t*>("FLV"), 3);
    out.push_back(1);                    // version
    out.push_back(sound ? 0x05 : 0x01);  // sound and pictures, or pictures
    appendBigEndian(out, 9, 4);          // header size
    appendBigEndian(out, 0, 4);          // PreviousTagSize0
}

size_t pictureTagBytes(size_t payload) {
    return kTagHeaderBytes + kPictureIntro + payload + kBackPointerBytes;
}

size_t soundTagBytes(size_t payload) {
    return kTagHeaderBytes + kSoundIntro + payload + kBackPointerBytes;
}

bool appendMetadata(std::vector<uint8_t>& out, int width, int height, double frameRate,
                    bool sound) {
    std::vector<uint8_t> data;
    amf0::putString(data, "onMetaData");
    amf0::beginEcmaArray(data, sound ? 6 : 4);
    putProperty(data, "width", width);
    putProperty(data, "height", height);
    putProperty(data, "framerate", frameRate);
    putProperty(data, "videocodecid", kAvc);
    if (sound) {
        putProperty(data, "audiocodecid", 10);
        amf0::putName(data, "stereo");
        amf0::putBoolean(data, true);
    }
    amf0::endObject(data);
    uint8_t* at = grow(out, kTagHeaderBytes + data.size() + kBackPointerBytes);
    if (at == nullptr) {
        return false;
    }
    at = putTagHeader(at, kScriptTag, data.size(), 0);
    at = putBytes(at, data.data(), data.size());
    putBigEndian(at, kTagHeaderBytes + data.size(), 4);
    return true;
}

bool appendPicture(std::vector<uint8_t>& out, uint32_t ms, bool key, Payload kind,
                   const uint8_t* data, size_t size) {
    uint8_t* at = grow(out, pictureTagBytes(size));
    if (at == nullptr) {
        return false;
    }
    writePicture(at, ms, key, kind, data, size);
    return true;
}

bool appendSound(std::vector<uint8_t>& out, uint32_t ms, Payload kind, const uint8_t* data,
                 size_t size) {
    uint8_t* at = grow(out, soundTagBytes(size));
    if (at == nullptr) {
        return false;
    }
    writeSound(at, ms, kind, data, size);
    return true;
}

void writePicture(uint8_t* out, uint32_t ms, bool key, Payload kind, const uint8_t* data,
                  size_t size) {
    uint8_t* at = putTagHeader(out, kPictureTag, kPictureIntro + size, ms);
    *at++ = static_cast<uint8_t>((key ? 0x10 : 0x20) | kAvc);
    *at++ = kind == Payload::kSequenceHeader ? 0 : 1;
    at = putBigEndian(at, 0, 3);  // composition time
    at = putBytes(at, data, size);
    putBigEndian(at, kTagHeaderBytes + kPictureIntro + size, 4);
}

void writeSound(uint8_t* out, uint32_t ms, Payload kind, const uint8_t* data, size_t size) {
    uint8_t* at = putTagHeader(out, kSoundTag, kSoundIntro + size, ms);
    *at++ = kAacSoundByte;
    *at++ = kind == Payload::kSequenceHeader ? 0 : 1;
    at = putBytes(at, data, size);
    putBigEndian(at, kTagHeaderBytes + kSoundIntro + size, 4);
}

}  // namespace flv
