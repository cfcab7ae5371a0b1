#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Each frame's number drawn into a test video, so that a test can tell which
// frame of the file it is looking at whatever size the picture was scaled to:
// a band of 16 cells across the 640 x 480 picture, cell i white when bit i of
// the number is set, black otherwise. The band lies below the middle and
// clear of the top band, so the colour checks of the picture still hold.
namespace FrameNumberBand {
constexpr int kBits = 16;
constexpr int kTop = 400;  // rows of the 640 x 480 picture, top row first
constexpr int kHeight = 32;

// The part of an ffmpeg filter graph that lays the band over the stream
// labelled [body] of `fps` frames a second for `seconds`.
std::string overlayFilter(int fps, double seconds);

// Draws `number`'s band into a 32-bit frame (B, G, R, x, bottom row first)
// of width x height, where the band lies as in a 640 x 480 picture fitted
// into it with its shape kept: what read() finds again.
void draw(uint8_t* frame, int width, int height, int number);

// The number in a 32-bit frame (B, G, R, x, bottom row first) of width x
// height, into which the 640 x 480 picture was fitted with its shape kept (as
// the players do, black bands at the sides or above and below). Empty when a
// cell is neither clearly white nor clearly black: no band there.
std::optional<int> read(const uint8_t* frame, int width, int height);
}  // namespace FrameNumberBand
