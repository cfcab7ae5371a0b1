#include "outputs/shrink_by_three_avx2.h"

#include <immintrin.h>

#include <cstddef>

#define AVX2 __attribute__((target("avx2")))

namespace {
// A 32-bit pixel's channels as two 16-bit words per 32-bit lane: blue and
// red in `even`, green and alpha in `odd`. Splitting with a mask and a shift
// keeps the shuffle port free for the permutes below.
struct Channels {
    __m256i even;
    __m256i odd;
};

AVX2 inline Channels channelsOf(const uint8_t* pixels) {
    const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pixels));
    return {_mm256_and_si256(bytes, _mm256_set1_epi16(0x00FF)), _mm256_srli_epi16(bytes, 8)};
}

// The three rows' sums of eight pixels.
AVX2 inline Channels columnSums(const uint8_t* a, const uint8_t* b, const uint8_t* c) {
    Channels x = channelsOf(a);
    Channels y = channelsOf(b);
    Channels z = channelsOf(c);
    return {_mm256_add_epi16(_mm256_add_epi16(x.even, y.even), z.even),
            _mm256_add_epi16(_mm256_add_epi16(x.odd, y.odd), z.odd)};
}

// Pixels 0..23 of three vectors (one pixel per 32-bit lane) to the eight sums
// p[3j] + p[3j + 1] + p[3j + 2]. Each third of a block sits at a different
// lane in every source vector, so two blends gather it and one permute puts
// it in order.
AVX2 inline __m256i blockSums(__m256i p0, __m256i p1, __m256i p2) {
    const __m256i first = _mm256_permutevar8x32_epi32(
        _mm256_blend_epi32(_mm256_blend_epi32(p0, p1, 0b10010010), p2, 0b00100100),
        _mm256_setr_epi32(0, 3, 6, 1, 4, 7, 2, 5));
    const __m256i second = _mm256_permutevar8x32_epi32(
        _mm256_blend_epi32(_mm256_blend_epi32(p0, p1, 0b00100100), p2, 0b01001001),
        _mm256_setr_epi32(1, 4, 7, 2, 5, 0, 3, 6));
    const __m256i third = _mm256_permutevar8x32_epi32(
        _mm256_blend_epi32(_mm256_blend_epi32(p0, p1, 0b01001001), p2, 0b10010010),
        _mm256_setr_epi32(2, 5, 0, 3, 6, 1, 4, 7));
    return _mm256_add_epi16(_mm256_add_epi16(first, second), third);
}

// sum / 9 rounded: (sum * 3641 + 16384) >> 15 equals it for every sum of
// nine bytes, as (sum * 7282 + 32768) >> 16 of the plain loop does.
AVX2 inline __m256i ninth(__m256i sums) {
    return _mm256_mulhrs_epi16(sums, _mm256_set1_epi16(3641));
}
}  // namespace

AVX2 int shrinkRowByThreeAvx2(const uint8_t* a, const uint8_t* b, const uint8_t* c, uint8_t* out,
                              int outWidth) {
    const int whole = outWidth - outWidth % 8;
    for (int x = 0; x < whole; x += 8) {
        // 24 source pixels, 96 bytes, make 8 output pixels.
        const ptrdiff_t at = static_cast<ptrdiff_t>(x) * 12;
        const Channels s0 = columnSums(a + at, b + at, c + at);
        const Channels s1 = columnSums(a + at + 32, b + at + 32, c + at + 32);
        const Channels s2 = columnSums(a + at + 64, b + at + 64, c + at + 64);
        const __m256i even = ninth(blockSums(s0.even, s1.even, s2.even));
        const __m256i odd = ninth(blockSums(s0.odd, s1.odd, s2.odd));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + static_cast<ptrdiff_t>(x) * 4),
                            _mm256_or_si256(even, _mm256_slli_epi16(odd, 8)));
    }
    return whole;
}
