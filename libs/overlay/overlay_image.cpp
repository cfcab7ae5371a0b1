#include "libs/overlay/overlay_image.h"

#include <algorithm>

void findVisibleRuns(OverlayImage* image) {
    image->runs.clear();
    for (int32_t row = 0; row < image->height; ++row) {
        const uint32_t* pixels = image->pixels.data() + static_cast<size_t>(row) * image->width;
        int32_t x = 0;
        while (x < image->width) {
            while (x < image->width && (pixels[x] >> 24) == 0) {
                ++x;
            }
            int32_t begin = x;
            while (x < image->width && (pixels[x] >> 24) != 0) {
                ++x;
            }
            if (x > begin) {
                image->runs.push_back({row, begin, x});
            }
        }
    }
}

namespace {
// (value * weight) / 255, rounded, for 8-bit value and weight.
inline uint32_t scale255(uint32_t value, uint32_t weight) {
    uint32_t product = value * weight + 128;
    return (product + (product >> 8)) >> 8;
}

inline uint32_t over(uint32_t source, uint32_t destination) {
    uint32_t alpha = source >> 24;
    if (alpha == 255) {
        return (source & 0x00FFFFFF) | (destination & 0xFF000000);
    }
    uint32_t keep = 255 - alpha;
    uint32_t b = (source & 0xFF) + scale255(destination & 0xFF, keep);
    uint32_t g = ((source >> 8) & 0xFF) + scale255((destination >> 8) & 0xFF, keep);
    uint32_t r = ((source >> 16) & 0xFF) + scale255((destination >> 16) & 0xFF, keep);
    return std::min(b, 255u) | std::min(g, 255u) << 8 | std::min(r, 255u) << 16 |
           (destination & 0xFF000000);
}
}  // namespace

void compositeOverlay(const OverlayImage& image, int32_t left, int32_t top, uint8_t* frame,
                      int32_t frameWidth, int32_t frameHeight) {
    // Image row k (bottom first) lands on picture line top + height - 1 - k,
    // which is frame row frameHeight - 1 - that line (frames are bottom first too).
    const int32_t rowOffset = frameHeight - top - image.height;
    auto* target = reinterpret_cast<uint32_t*>(frame);
    for (const OverlayImage::Run& run : image.runs) {
        int32_t frameRow = run.row + rowOffset;
        if (frameRow < 0 || frameRow >= frameHeight) {
            continue;
        }
        int32_t begin = std::max(run.begin, -left);
        int32_t end = std::min(run.end, frameWidth - left);
        const uint32_t* source = image.pixels.data() + static_cast<size_t>(run.row) * image.width;
        uint32_t* destination = target + static_cast<size_t>(frameRow) * frameWidth + left;
        for (int32_t x = begin; x < end; ++x) {
            destination[x] = over(source[x], destination[x]);
        }
    }
}
