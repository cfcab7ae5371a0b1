#include "base/video_frame.h"

#include <cstring>

void VideoFrame::CopyFlipped(const uint8_t* src, uint8_t* dst, uint32_t rowBytes, int32_t height) {
    CopyFlipped(src, rowBytes, dst, rowBytes, rowBytes, height);
}

void VideoFrame::CopyFlipped(const uint8_t* src, size_t srcStride, uint8_t* dst, size_t dstStride,
                             size_t rowBytes, int32_t height) {
    for (int32_t y = 0; y < height; ++y) {
        std::memcpy(dst + static_cast<size_t>(height - 1 - y) * dstStride,
                    src + static_cast<size_t>(y) * srcStride, rowBytes);
    }
}
