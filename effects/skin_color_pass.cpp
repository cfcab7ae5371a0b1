#include "effects/skin_color_pass.h"
#include "base/simd_dispatch.h"
#include "effects/skin_curve_avx2.h"

// OpenCV's 8-bit BT.601 YUV constants, scaled by 2^14.
namespace {
constexpr int kShift = 14;
constexpr int kHalf = 1 << (kShift - 1);
constexpr int kB2Y = 1868, kG2Y = 9617, kR2Y = 4899;
constexpr int kB2U = 8061, kR2V = 14369;
constexpr int kU2B = 33292, kU2G = -6472, kV2G = -9519, kV2R = 18678;
constexpr int kChromaBias = (128 << kShift) + kHalf;

inline int clampByte(int value) { return value < 0 ? 0 : (value > 255 ? 255 : value); }

// Rounds a non-negative float below 2^22 to the nearest integer, halves to
// even, as the processor's default conversion does; plain arithmetic, so the
// loop around it vectorises.
inline float roundHalfEven(float value) {
    constexpr float kMagic = 8388608.0f;  // 2^23: adding it drops the fraction
    return (value + kMagic) - kMagic;
}

inline uint32_t packPixel(int b, int g, int r, uint32_t fourth) {
    return static_cast<uint32_t>(b) | static_cast<uint32_t>(g) << 8 |
           static_cast<uint32_t>(r) << 16 | fourth << 24;
}
}  // namespace

LUMORA_VECTORISED void applySkinCurvePortable(uint32_t* __restrict pixels, size_t count,
                                              const int32_t* __restrict curve) {
    for (size_t i = 0; i < count; ++i) {
        uint32_t pixel = pixels[i];
        int b = static_cast<int>(pixel & 0xFF);
        int g = static_cast<int>((pixel >> 8) & 0xFF);
        int r = static_cast<int>((pixel >> 16) & 0xFF);
        int y = (b * kB2Y + g * kG2Y + r * kR2Y + kHalf) >> kShift;
        int u = clampByte(((b - y) * kB2U + kChromaBias) >> kShift) - 128;
        int v = clampByte(((r - y) * kR2V + kChromaBias) >> kShift) - 128;
        int curved = curve[y];
        int nb = clampByte(curved + ((u * kU2B + kHalf) >> kShift));
        int ng = clampByte(curved + ((u * kU2G + v * kV2G + kHalf) >> kShift));
        int nr = clampByte(curved + ((v * kV2R + kHalf) >> kShift));
        pixels[i] = packPixel(nb, ng, nr, 0xFF);
    }
}

namespace {
bool hasAvx2() {
    static const bool available = __builtin_cpu_supports("avx2");
    return available;
}
}  // namespace

void applySkinCurveAndBlend(uint32_t* pixels, size_t count, const int32_t* curve, uint8_t blue,
                            uint8_t green, uint8_t red, float pictureWeight, float colourWeight) {
    if (hasAvx2()) {
        const SkinBlend blend{
            pictureWeight, {blue * colourWeight, green * colourWeight, red * colourWeight, 0.0f}};
        applySkinCurveAndBlendAvx2(pixels, count, curve, blend);
    } else {
        applySkinCurvePortable(pixels, count, curve);
        blendSkinColour(pixels, count, blue, green, red, pictureWeight, colourWeight);
    }
}

void applySkinCurve(uint32_t* pixels, size_t count, const int32_t* curve) {
    if (hasAvx2()) {
        applySkinCurveAvx2(pixels, count, curve);
    } else {
        applySkinCurvePortable(pixels, count, curve);
    }
}

LUMORA_VECTORISED void addSkinColour(uint32_t* __restrict pixels, size_t count, uint8_t blue,
                                     uint8_t green, uint8_t red) {
    // Four saturating byte additions at once inside each 32-bit word: add the
    // low seven bits, put the top bits back, and turn every carry out of a
    // byte into 0xFF.
    const uint32_t colour = packPixel(blue, green, red, 0);
    constexpr uint32_t kLow = 0x7F7F7F7Fu, kHigh = 0x80808080u;
    for (size_t i = 0; i < count; ++i) {
        uint32_t pixel = pixels[i];
        uint32_t sum = ((pixel & kLow) + (colour & kLow)) ^ ((pixel ^ colour) & kHigh);
        uint32_t carries = ((pixel & colour) | ((pixel | colour) & ~sum)) & kHigh;
        pixels[i] = sum | ((carries << 1) - (carries >> 7));
    }
}

LUMORA_VECTORISED void blendSkinColour(uint32_t* __restrict pixels, size_t count, uint8_t blue,
                                       uint8_t green, uint8_t red, float pictureWeight,
                                       float colourWeight) {
    const float cb = blue * colourWeight, cg = green * colourWeight, cr = red * colourWeight;
    for (size_t i = 0; i < count; ++i) {
        uint32_t pixel = pixels[i];
        float b = static_cast<float>(pixel & 0xFF) * pictureWeight + cb;
        float g = static_cast<float>((pixel >> 8) & 0xFF) * pictureWeight + cg;
        float r = static_cast<float>((pixel >> 16) & 0xFF) * pictureWeight + cr;
        float x = static_cast<float>(pixel >> 24) * pictureWeight;
        pixels[i] = packPixel(clampByte(static_cast<int>(roundHalfEven(b))),
                              clampByte(static_cast<int>(roundHalfEven(g))),
                              clampByte(static_cast<int>(roundHalfEven(r))),
                              static_cast<uint32_t>(clampByte(static_cast<int>(roundHalfEven(x)))));
    }
}
