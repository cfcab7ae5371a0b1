#pragma once

#include <cstddef>
#include <cstdint>

// The blends of background_passes.h for processors with AVX2, eight pixels
// at a time, byte for byte the same results. The caller checks the
// processor (__builtin_cpu_supports("avx2")). The last pixels % 8 go
// through the same arithmetic, loaded and stored through a lane mask, so
// nothing past the last pixel is read or written.
void blendBackgroundAvx2(uint8_t* frame, const uint8_t* background, const uint8_t* mask,
                         size_t pixels);
void blendColourAvx2(uint8_t* frame, const uint8_t colour[4], const uint8_t* mask, size_t pixels);
