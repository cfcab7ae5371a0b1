#pragma once

#include <cstddef>
#include <cstdint>

#include "libs/recorder/big_endian.h"

// The fixed parts of an FLV file, for what writes one and what reads one
// back: a 9-byte file header, then tags, each an 11-byte header (type, data
// size, time, stream id), its data, and a 4-byte size of the tag just ended.
namespace flv {

constexpr size_t kFileHeaderBytes = 9;
constexpr size_t kTagHeaderBytes = 11;
constexpr size_t kBackPointerBytes = 4;

constexpr uint8_t kSoundTag = 8;
constexpr uint8_t kPictureTag = 9;
constexpr uint8_t kScriptTag = 18;

// A tag header's data size, and its time in milliseconds (24 bits, then
// the upper 8).
inline uint32_t tagDataSize(const uint8_t* tag) {
    return static_cast<uint32_t>(readBigEndian(tag + 1, 3));
}
inline uint32_t tagTime(const uint8_t* tag) {
    return static_cast<uint32_t>(readBigEndian(tag + 4, 3)) | static_cast<uint32_t>(tag[7]) << 24;
}

}  // namespace flv
