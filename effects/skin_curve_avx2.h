#pragma once

#include <cstddef>
#include <cstdint>

// The beautify curve pass with AVX2: the same bytes as the portable pass
// (see skin_color_pass.h), eight pixels at a time, with the multiplications
// done as 16-bit pairs. Call it only where the processor has AVX2.
void applySkinCurveAvx2(uint32_t* pixels, size_t count, const int32_t* curve);
