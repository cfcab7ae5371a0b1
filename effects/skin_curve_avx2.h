#pragma once

#include <cstddef>
#include <cstdint>

// The beautify curve pass with AVX2: the same bytes as the portable pass
// (see skin_color_pass.h), eight pixels at a time, with the multiplications
// done as 16-bit pairs. Call it only where the processor has AVX2.
void applySkinCurveAvx2(uint32_t* pixels, size_t count, const int32_t* curve);

// The curve followed by the weighted blend with (blue, green, red, 0), in one
// pass: the same bytes as the curve pass and then the blend pass.
struct SkinBlend {
    float pictureWeight;
    float colour[4];  // blue, green, red, 0, each times the colour's weight
};
void applySkinCurveAndBlendAvx2(uint32_t* pixels, size_t count, const int32_t* curve,
                                const SkinBlend& blend);
