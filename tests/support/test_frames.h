#pragma once

#include <cstdint>
#include <vector>

#include "base/video_frame.h"

// Real 640 x 480 frames for tests: every pixel differs from its neighbours, so
// a copy that drops, shifts or flips a row is caught.
std::vector<uint8_t> makePatternFrame32(uint8_t seed);
std::vector<uint8_t> makeSolidFrame32(uint8_t blue, uint8_t green, uint8_t red);
// A 24-bit frame (B, G, R, rows padded to 4 bytes) of any size with the same
// property, for the sizes beside 640 x 480.
std::vector<uint8_t> makePatternFrame24(int32_t width, int32_t height, uint8_t seed);
// The 24-bit frame the graph should make from a 32-bit one.
std::vector<uint8_t> dropFourthByte(const std::vector<uint8_t>& frame32);
