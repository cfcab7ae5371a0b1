#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

// The header at the start of the virtual camera block. It is a wire format
// shared with readers in other processes: 144 bytes, little-endian, followed by
// imageSize bytes of 24-bit B, G, R pixels, rows padded to 4 bytes, bottom row
// first.
struct VCamHeader {
    uint16_t state;        // 1 while a writer runs
    int16_t width;         // pixels
    int16_t height;        // pixels, always positive
    uint16_t frameRate;    // pictures a second; 0 is the standard kVCamStandardRate
    uint32_t imageSize;    // frame bytes after the header
    uint32_t sequence;     // 0 after start, +1 before each frame is written
    char bufferName[125];  // "FileMapKvtRpmca5eab82" + writer number, NUL-filled
    uint8_t padding1[3];
};

static_assert(std::endian::native == std::endian::little, "the channel is little-endian");
static_assert(sizeof(VCamHeader) == 144);
static_assert(offsetof(VCamHeader, state) == 0);
static_assert(offsetof(VCamHeader, width) == 2);
static_assert(offsetof(VCamHeader, height) == 4);
static_assert(offsetof(VCamHeader, frameRate) == 6);
static_assert(offsetof(VCamHeader, imageSize) == 8);
static_assert(offsetof(VCamHeader, sequence) == 12);
static_assert(offsetof(VCamHeader, bufferName) == 16);
static_assert(offsetof(VCamHeader, padding1) == 141);

constexpr size_t kVCamHeaderSize = sizeof(VCamHeader);

// The rate a header's frameRate of 0 stands for, so that a block at the
// standard rate keeps the bytes it always had there.
constexpr int kVCamStandardRate = 15;
// The largest picture either side accepts; a header beyond it is not ours.
constexpr int kVCamMaxWidth = 1920;
constexpr int kVCamMaxHeight = 1080;

// The rate a header announces, in pictures a second.
inline int vcamFrameRate(const VCamHeader& header) {
    return header.frameRate == 0 ? kVCamStandardRate : header.frameRate;
}
