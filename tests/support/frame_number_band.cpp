#include "tests/support/frame_number_band.h"

#include <algorithm>
#include <cstdio>

namespace FrameNumberBand {
namespace {
constexpr int kPictureWidth = 640;
constexpr int kPictureHeight = 480;
constexpr int kCellWidth = kPictureWidth / kBits;

// Where a point of the 640 x 480 picture landed in the fitted frame.
struct Fit {
    double scale;
    double left;
    double top;
};

Fit fitOf(int width, int height) {
    double scale = std::min(static_cast<double>(width) / kPictureWidth,
                            static_cast<double>(height) / kPictureHeight);
    return {scale, (width - kPictureWidth * scale) / 2, (height - kPictureHeight * scale) / 2};
}
}  // namespace

std::string overlayFilter(int fps, double seconds) {
    // One pixel a bit, made large without blending, so that compression keeps
    // every cell plainly black or white.
    char text[320];
    std::snprintf(text, sizeof text,
                  "nullsrc=s=%dx1:r=%d:d=%.3f,format=gray,"
                  "geq=lum='255*mod(floor(N/pow(2,X)),2)',"
                  "scale=%d:%d:flags=neighbor[band];"
                  "[body][band]overlay=x=0:y=%d:shortest=1",
                  kBits, fps, seconds, kPictureWidth, kHeight, kTop);
    return text;
}

void draw(uint8_t* frame, int width, int height, int number) {
    Fit fit = fitOf(width, height);
    const int top = static_cast<int>(fit.top + kTop * fit.scale);
    const int bottom = static_cast<int>(fit.top + (kTop + kHeight) * fit.scale);
    for (int row = top; row < bottom && row < height; ++row) {
        uint8_t* line = frame + static_cast<size_t>(height - 1 - row) * width * 4;
        for (int bit = 0; bit < kBits; ++bit) {
            const uint8_t level = (number >> bit) & 1 ? 255 : 0;
            const int left = static_cast<int>(fit.left + bit * kCellWidth * fit.scale);
            const int right = static_cast<int>(fit.left + (bit + 1) * kCellWidth * fit.scale);
            for (int x = left; x < right && x < width; ++x) {
                line[x * 4] = level;
                line[x * 4 + 1] = level;
                line[x * 4 + 2] = level;
            }
        }
    }
}

std::optional<int> read(const uint8_t* frame, int width, int height) {
    Fit fit = fitOf(width, height);
    int row = static_cast<int>(fit.top + (kTop + kHeight / 2) * fit.scale);
    const uint8_t* line = frame + static_cast<size_t>(height - 1 - row) * width * 4;
    int number = 0;
    for (int bit = 0; bit < kBits; ++bit) {
        int column = static_cast<int>(fit.left + (bit * kCellWidth + kCellWidth / 2) * fit.scale);
        const uint8_t* pixel = line + static_cast<size_t>(column) * 4;
        int brightness = (pixel[0] + pixel[1] + pixel[2]) / 3;
        if (brightness > 192) {
            number |= 1 << bit;
        } else if (brightness > 64) {
            return std::nullopt;
        }
    }
    return number;
}
}  // namespace FrameNumberBand
