#include "tests/support/test_frames.h"

std::vector<uint8_t> makePatternFrame32(uint8_t seed) {
    std::vector<uint8_t> frame(VideoFrame::kSize32);
    for (size_t i = 0; i < frame.size(); ++i) {
        size_t pixel = i / 4;
        frame[i] = static_cast<uint8_t>(pixel * 7 + (i % 4) * 61 + seed * 13 + pixel / 640);
    }
    return frame;
}

std::vector<uint8_t> makePatternFrame24(int32_t width, int32_t height, uint8_t seed) {
    uint32_t rowBytes = VideoFrame::RowBytes(width, 24);
    std::vector<uint8_t> frame(VideoFrame::Size24(width, height));
    for (size_t i = 0; i < frame.size(); ++i) {
        size_t row = i / rowBytes;
        size_t column = i % rowBytes;
        frame[i] = static_cast<uint8_t>(column * 7 + row * 5 + seed * 13 + column / 3);
    }
    return frame;
}

std::vector<uint8_t> makeSolidFrame32(uint8_t blue, uint8_t green, uint8_t red) {
    std::vector<uint8_t> frame(VideoFrame::kSize32);
    for (size_t i = 0; i < frame.size(); i += 4) {
        frame[i] = blue;
        frame[i + 1] = green;
        frame[i + 2] = red;
        frame[i + 3] = 0xEE;
    }
    return frame;
}

std::vector<uint8_t> dropFourthByte(const std::vector<uint8_t>& frame32) {
    std::vector<uint8_t> frame24;
    frame24.reserve(frame32.size() / 4 * 3);
    for (size_t i = 0; i < frame32.size(); i += 4) {
        frame24.insert(frame24.end(), frame32.begin() + i, frame32.begin() + i + 3);
    }
    return frame24;
}
