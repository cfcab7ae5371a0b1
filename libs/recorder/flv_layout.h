#pragma once

#include <cstddef>
#include <cstdint>

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

}  // namespace flv
