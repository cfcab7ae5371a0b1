#include "tests/vcam/browser_marker.h"

#include <chrono>

namespace {
// Fills a rectangle given top-down in a bottom-up 32-bit frame.
void fill(uint8_t* frame, int width, int height, int left, int top, int w, int h,
          const std::array<uint8_t, 3>& rgb) {
    for (int y = top; y < top + h; ++y) {
        uint8_t* row = frame + static_cast<size_t>(height - 1 - y) * width * 4;
        for (int x = left; x < left + w; ++x) {
            row[x * 4] = rgb[2];
            row[x * 4 + 1] = rgb[1];
            row[x * 4 + 2] = rgb[0];
        }
    }
}

void paintBits(uint8_t* frame, int width, int height, int top, uint32_t value) {
    for (int bit = 0; bit < BrowserMarker::kBits; ++bit) {
        uint8_t level = (value >> bit) & 1 ? 255 : 0;
        fill(frame, width, height, BrowserMarker::kBitLeft + bit * BrowserMarker::kBitWidth, top,
             BrowserMarker::kBitWidth, BrowserMarker::kBitHeight, {level, level, level});
    }
}
}  // namespace

void BrowserMarker::Process(uint8_t* data, size_t size, int32_t width, int32_t height) {
    if (width != VideoFrame::kWidth || height != VideoFrame::kHeight ||
        size < VideoFrame::Size32(width, height)) {
        return;
    }
    for (size_t i = 0; i < kPatchesRgb.size(); ++i) {
        fill(data, width, height, kPatchLeft + static_cast<int>(i) * kPatchStep, kPatchTop,
             kPatchWidth, kPatchHeight, kPatchesRgb[i]);
    }
    auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::system_clock::now().time_since_epoch());
    paintBits(data, width, height, kNumberTop, number_.fetch_add(1) + 1);
    paintBits(data, width, height, kStampTop, static_cast<uint32_t>(now.count()) & 0xFFFFFF);
}
