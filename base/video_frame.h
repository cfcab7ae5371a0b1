#pragma once

#include <cstddef>
#include <cstdint>

// The picture every part of the engine passes around: 640 x 480, bottom row
// first (as a device-independent bitmap). Sources and effects work on the
// 32-bit layout (B, G, R, unused); the graph makes the 24-bit layout (B, G, R)
// once per tick for outputs. Frames travel as pointer + byte length (+ width
// and height); whoever keeps a picture copies it.
struct VideoFrame {
    static constexpr int32_t kWidth = 640;
    static constexpr int32_t kHeight = 480;

    // Bytes in one row of a bitmap: rows are padded to a multiple of 4 bytes.
    static constexpr uint32_t RowBytes(int32_t width, int32_t bitsPerPixel);
    static constexpr uint32_t Size32(int32_t width, int32_t height);
    static constexpr uint32_t Size24(int32_t width, int32_t height);

    static constexpr uint32_t kRowBytes32 = kWidth * 4;
    static constexpr uint32_t kRowBytes24 = (kWidth * 3 + 3) / 4 * 4;
    static constexpr uint32_t kSize32 = kRowBytes32 * kHeight;
    static constexpr uint32_t kSize24 = kRowBytes24 * kHeight;

    // The row that shows picture line `y` (0 = top line) in a bottom-row-first
    // buffer of `height` rows.
    static uint8_t* PictureRow(uint8_t* frame, uint32_t rowBytes, int32_t height, int32_t y) {
        return frame + static_cast<size_t>(height - 1 - y) * rowBytes;
    }
    static const uint8_t* PictureRow(const uint8_t* frame, uint32_t rowBytes, int32_t height,
                                     int32_t y) {
        return frame + static_cast<size_t>(height - 1 - y) * rowBytes;
    }

    // Copies `height` rows of `rowBytes` from src to dst in reverse row order:
    // turns a top-row-first picture into a bottom-row-first one and back.
    // src and dst must not overlap.
    static void CopyFlipped(const uint8_t* src, uint8_t* dst, uint32_t rowBytes, int32_t height);
    // The same between buffers whose rows are `srcStride` and `dstStride`
    // bytes apart (a decoder's or an encoder's padded planes); `rowBytes` of
    // each row are copied.
    static void CopyFlipped(const uint8_t* src, size_t srcStride, uint8_t* dst, size_t dstStride,
                            size_t rowBytes, int32_t height);
};

constexpr uint32_t VideoFrame::RowBytes(int32_t width, int32_t bitsPerPixel) {
    return static_cast<uint32_t>(((width * bitsPerPixel + 31) / 32) * 4);
}
constexpr uint32_t VideoFrame::Size32(int32_t width, int32_t height) {
    return RowBytes(width, 32) * static_cast<uint32_t>(height < 0 ? -height : height);
}
constexpr uint32_t VideoFrame::Size24(int32_t width, int32_t height) {
    return RowBytes(width, 24) * static_cast<uint32_t>(height < 0 ? -height : height);
}

static_assert(VideoFrame::RowBytes(VideoFrame::kWidth, 32) == VideoFrame::kRowBytes32);
static_assert(VideoFrame::RowBytes(VideoFrame::kWidth, 24) == VideoFrame::kRowBytes24);
static_assert(VideoFrame::kSize32 == 1228800);
static_assert(VideoFrame::kSize24 == 921600);
