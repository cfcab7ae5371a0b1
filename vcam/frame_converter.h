#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// Pixel formats the reader can hand to consumers. Every one is top row first,
// as camera devices and raw video tools expect.
enum class OutputFormat {
    Yuyv,   // YUYV 4:2:2, BT.601 limited range, 2 bytes per pixel
    Rgb24,  // R, G, B
    Bgr24,  // B, G, R
    Bgrx,   // B, G, R and an unused fourth byte (255)
};

// How many formats there are, for tables indexed by format.
constexpr size_t kOutputFormatCount = 4;

std::optional<OutputFormat> parseOutputFormat(const std::string& name);
const char* outputFormatName(OutputFormat format);
// Bytes of one width x height picture in the format.
size_t outputFrameSize(OutputFormat format, int width, int height);

// Converts a channel frame (24-bit B, G, R, rows of `sourceRowBytes`, bottom
// row first) into `format`, top row first. `width` must be even for YUYV.
void convertChannelFrame(const uint8_t* source, size_t sourceRowBytes, int width, int height,
                         OutputFormat format, uint8_t* destination);
