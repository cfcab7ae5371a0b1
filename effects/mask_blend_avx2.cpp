#include "effects/mask_blend_avx2.h"

#include <immintrin.h>

#include <cstring>

#define AVX2 __attribute__((target("avx2")))

namespace {
// Unpacking a 256-bit register of eight pixels to 16-bit words works within
// each 128-bit half: the low words hold pixels 0, 1 | 4, 5, the high words
// pixels 2, 3 | 6, 7. These pick each pixel's weight word four times over
// from the eight weights in both halves.
AVX2 __m256i spreadLow() {
    return _mm256_setr_epi8(0, 1, 0, 1, 0, 1, 0, 1, 2, 3, 2, 3, 2, 3, 2, 3, 8, 9, 8, 9, 8, 9, 8, 9,
                            10, 11, 10, 11, 10, 11, 10, 11);
}
AVX2 __m256i spreadHigh() {
    return _mm256_setr_epi8(4, 5, 4, 5, 4, 5, 4, 5, 6, 7, 6, 7, 6, 7, 6, 7, 12, 13, 12, 13, 12, 13,
                            12, 13, 14, 15, 14, 15, 14, 15, 14, 15);
}

// The weights 0..256 (mask + mask / 128) of eight pixels, in both halves.
AVX2 inline __m256i weightsOf(__m128i bytes) {
    __m128i words = _mm_cvtepu8_epi16(bytes);
    words = _mm_add_epi16(words, _mm_srli_epi16(words, 7));
    return _mm256_broadcastsi128_si256(words);
}

// (x * w + y * (256 - w) + 128) >> 8 on 16-bit words; the sum fits 16 bits.
AVX2 inline __m256i mix(__m256i x, __m256i y, __m256i w) {
    const __m256i rest = _mm256_sub_epi16(_mm256_set1_epi16(256), w);
    const __m256i sum =
        _mm256_add_epi16(_mm256_add_epi16(_mm256_mullo_epi16(x, w), _mm256_mullo_epi16(y, rest)),
                         _mm256_set1_epi16(128));
    return _mm256_srli_epi16(sum, 8);
}

AVX2 inline __m256i blendEight(__m256i front, __m256i back, __m128i maskBytes) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i weights = weightsOf(maskBytes);
    const __m256i low = mix(_mm256_unpacklo_epi8(front, zero), _mm256_unpacklo_epi8(back, zero),
                            _mm256_shuffle_epi8(weights, spreadLow()));
    const __m256i high = mix(_mm256_unpackhi_epi8(front, zero), _mm256_unpackhi_epi8(back, zero),
                             _mm256_shuffle_epi8(weights, spreadHigh()));
    return _mm256_packus_epi16(low, high);
}
AVX2 inline __m128i eightMaskBytes(const uint8_t* mask) {
    return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(mask));
}

// The last pixels % 8: the lanes of those pixels only, loaded and stored
// through a lane mask, and their mask bytes copied out.
struct Tail {
    __m256i lanes;
    __m128i maskBytes;
};

AVX2 inline Tail tailOf(const uint8_t* mask, size_t left) {
    uint64_t bytes = 0;
    std::memcpy(&bytes, mask, left);
    const __m256i index = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    return {_mm256_cmpgt_epi32(_mm256_set1_epi32(static_cast<int>(left)), index),
            _mm_cvtsi64_si128(static_cast<long long>(bytes))};
}

AVX2 inline __m256i loadTail(const uint8_t* pixels, const Tail& tail) {
    return _mm256_maskload_epi32(reinterpret_cast<const int*>(pixels), tail.lanes);
}
}  // namespace

AVX2 void blendBackgroundAvx2(uint8_t* frame, const uint8_t* background, const uint8_t* mask,
                              size_t pixels) {
    for (size_t i = 0; i + 8 <= pixels; i += 8) {
        auto* at = reinterpret_cast<__m256i*>(frame + 4 * i);
        const __m256i front = _mm256_loadu_si256(at);
        const __m256i back =
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(background + 4 * i));
        _mm256_storeu_si256(at, blendEight(front, back, eightMaskBytes(mask + i)));
    }
    const size_t done = pixels / 8 * 8;
    if (pixels > done) {
        const Tail tail = tailOf(mask + done, pixels - done);
        const __m256i mixed = blendEight(loadTail(frame + 4 * done, tail),
                                         loadTail(background + 4 * done, tail), tail.maskBytes);
        _mm256_maskstore_epi32(reinterpret_cast<int*>(frame + 4 * done), tail.lanes, mixed);
    }
}

AVX2 void blendColourAvx2(uint8_t* frame, const uint8_t colour[4], const uint8_t* mask,
                          size_t pixels) {
    int32_t pixel;
    std::memcpy(&pixel, colour, 4);
    const __m256i back = _mm256_set1_epi32(pixel);
    for (size_t i = 0; i + 8 <= pixels; i += 8) {
        auto* at = reinterpret_cast<__m256i*>(frame + 4 * i);
        _mm256_storeu_si256(at, blendEight(_mm256_loadu_si256(at), back, eightMaskBytes(mask + i)));
    }
    const size_t done = pixels / 8 * 8;
    if (pixels > done) {
        const Tail tail = tailOf(mask + done, pixels - done);
        const __m256i mixed = blendEight(loadTail(frame + 4 * done, tail), back, tail.maskBytes);
        _mm256_maskstore_epi32(reinterpret_cast<int*>(frame + 4 * done), tail.lanes, mixed);
    }
}
