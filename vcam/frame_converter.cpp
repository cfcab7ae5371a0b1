#include "vcam/frame_converter.h"

#include <cstring>

namespace {
inline uint8_t clampByte(int value) {
    return static_cast<uint8_t>(value < 0 ? 0 : (value > 255 ? 255 : value));
}

// BT.601, limited range, from full-range 8-bit R, G, B.
inline uint8_t lumaOf(int r, int g, int b) {
    return clampByte(((66 * r + 129 * g + 25 * b + 128) >> 8) + 16);
}
inline uint8_t blueDifferenceOf(int r, int g, int b) {
    return clampByte(((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128);
}
inline uint8_t redDifferenceOf(int r, int g, int b) {
    return clampByte(((112 * r - 94 * g - 18 * b + 128) >> 8) + 128);
}

void rowToYuyv(const uint8_t* bgr, int width, uint8_t* yuyv) {
    for (int x = 0; x + 1 < width; x += 2, bgr += 6, yuyv += 4) {
        int b0 = bgr[0], g0 = bgr[1], r0 = bgr[2];
        int b1 = bgr[3], g1 = bgr[4], r1 = bgr[5];
        // One chroma sample for the pair: the pair's mean colour.
        int b = (b0 + b1 + 1) / 2, g = (g0 + g1 + 1) / 2, r = (r0 + r1 + 1) / 2;
        yuyv[0] = lumaOf(r0, g0, b0);
        yuyv[1] = blueDifferenceOf(r, g, b);
        yuyv[2] = lumaOf(r1, g1, b1);
        yuyv[3] = redDifferenceOf(r, g, b);
    }
}

void rowToRgb(const uint8_t* bgr, int width, uint8_t* rgb) {
    for (int x = 0; x < width; ++x, bgr += 3, rgb += 3) {
        rgb[0] = bgr[2];
        rgb[1] = bgr[1];
        rgb[2] = bgr[0];
    }
}
void rowToBgrx(const uint8_t* bgr, int width, uint8_t* bgrx) {
    for (int x = 0; x < width; ++x, bgr += 3, bgrx += 4) {
        bgrx[0] = bgr[0];
        bgrx[1] = bgr[1];
        bgrx[2] = bgr[2];
        bgrx[3] = 255;
    }
}
}  // namespace

std::optional<OutputFormat> parseOutputFormat(const std::string& name) {
    if (name == "yuyv") {
        return OutputFormat::Yuyv;
    }
    if (name == "rgb24") {
        return OutputFormat::Rgb24;
    }
    if (name == "bgr24") {
        return OutputFormat::Bgr24;
    }
    if (name == "bgrx") {
        return OutputFormat::Bgrx;
    }
    return std::nullopt;
}

const char* outputFormatName(OutputFormat format) {
    switch (format) {
        case OutputFormat::Yuyv:
            return "yuyv";
        case OutputFormat::Rgb24:
            return "rgb24";
        case OutputFormat::Bgr24:
            return "bgr24";
        case OutputFormat::Bgrx:
            return "bgrx";
    }
    return "?";
}

size_t outputFrameSize(OutputFormat format, int width, int height) {
    size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
    switch (format) {
        case OutputFormat::Yuyv:
            return pixels * 2;
        case OutputFormat::Bgrx:
            return pixels * 4;
        default:
            return pixels * 3;
    }
}

void convertChannelFrame(const uint8_t* source, size_t sourceRowBytes, int width, int height,
                         OutputFormat format, uint8_t* destination) {
    size_t destinationRowBytes = outputFrameSize(format, width, 1);
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = source + static_cast<size_t>(height - 1 - y) * sourceRowBytes;
        uint8_t* out = destination + static_cast<size_t>(y) * destinationRowBytes;
        switch (format) {
            case OutputFormat::Yuyv:
                rowToYuyv(row, width, out);
                break;
            case OutputFormat::Rgb24:
                rowToRgb(row, width, out);
                break;
            case OutputFormat::Bgr24:
                std::memcpy(out, row, static_cast<size_t>(width) * 3);
                break;
            case OutputFormat::Bgrx:
                rowToBgrx(row, width, out);
                break;
        }
    }
}
