#include "libs/overlay/overlay_image.h"
#include "base/simd_dispatch.h"

#include <QImage>

#include <algorithm>

namespace {
// Appends the runs of one picture line that are not fully transparent.
void takeVisibleRuns(const uint32_t* line, int32_t row, OverlayImage* image) {
    int32_t x = 0;
    while (x < image->width) {
        while (x < image->width && (line[x] >> 24) == 0) {
            ++x;
        }
        int32_t begin = x;
        while (x < image->width && (line[x] >> 24) != 0) {
            ++x;
        }
        if (x > begin) {
            image->runs.push_back({row, begin, x, image->pixels.size()});
            image->pixels.insert(image->pixels.end(), line + begin, line + x);
        }
    }
}
}  // namespace

OverlayImage overlayFromImage(const QImage& picture) {
    QImage premultiplied = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    OverlayImage image;
    image.width = premultiplied.width();
    image.height = premultiplied.height();
    for (int32_t row = 0; row < image.height; ++row) {
        int32_t line = image.height - 1 - row;
        takeVisibleRuns(reinterpret_cast<const uint32_t*>(premultiplied.constScanLine(line)), row,
                        &image);
    }
    image.pixels.shrink_to_fit();
    image.runs.shrink_to_fit();
    return image;
}

namespace {
// Premultiplied "over" for a run of pixels: out = source + destination *
// (255 - alpha) / 255 per colour byte, rounded; the destination's fourth byte
// stays. Plain 32-bit lane arithmetic, so it vectorises.
LUMORA_VECTORISED void blendRun(const uint32_t* __restrict source, uint32_t* __restrict destination,
                                int32_t count) {
    for (int32_t x = 0; x < count; ++x) {
        uint32_t s = source[x];
        uint32_t d = destination[x];
        uint32_t keep = 255 - (s >> 24);
        uint32_t b = (d & 0xFF) * keep + 128;
        uint32_t g = ((d >> 8) & 0xFF) * keep + 128;
        uint32_t r = ((d >> 16) & 0xFF) * keep + 128;
        b = (s & 0xFF) + ((b + (b >> 8)) >> 8);
        g = ((s >> 8) & 0xFF) + ((g + (g >> 8)) >> 8);
        r = ((s >> 16) & 0xFF) + ((r + (r >> 8)) >> 8);
        destination[x] = (b > 255 ? 255 : b) | (g > 255 ? 255 : g) << 8 |
                         (r > 255 ? 255 : r) << 16 | (d & 0xFF000000);
    }
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
        if (end <= begin) {
            continue;
        }
        const uint32_t* source = image.pixels.data() + run.offset - run.begin;
        uint32_t* destination = target + static_cast<size_t>(frameRow) * frameWidth + left;
        blendRun(source + begin, destination + begin, end - begin);
    }
}
