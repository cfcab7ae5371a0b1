#pragma once

#include <cstdint>

// One output row of shrinkByThree for processors with AVX2, eight output
// pixels at a time, byte for byte what the plain loops give. `a`, `b` and
// `c` are the three 32-bit source rows of the block row, each at least
// 3 * outWidth pixels. Returns how many output pixels it made: all but the
// last outWidth % 8, which the caller makes. The caller checks the processor
// (__builtin_cpu_supports("avx2")).
int shrinkRowByThreeAvx2(const uint8_t* a, const uint8_t* b, const uint8_t* c, uint8_t* out,
                         int outWidth);
