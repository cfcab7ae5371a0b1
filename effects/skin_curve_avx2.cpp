#include "effects/skin_curve_avx2.h"

#include <immintrin.h>

namespace {
// Two signed 16-bit factors in one 32-bit lane, for _mm256_madd_epi16, which
// makes the lane low * first + high * second.
constexpr int32_t pair(int low, int high) {
    return static_cast<int32_t>((static_cast<uint32_t>(high) << 16) |
                                (static_cast<uint32_t>(low) & 0xFFFF));
}

#define AVX2 __attribute__((target("avx2")))

struct Constants {
    __m256i bgWords, rWord, low16, one16, bias257, byte, zero, top, half, alpha, rounding;
    __m256i toY, rToY, toU, toV, uToB, uvToG, vToR;
};

AVX2 Constants makeConstants() {
    Constants k;
    // Picks (blue, green) and (red) of each pixel as 16-bit words.
    k.bgWords = _mm256_setr_epi8(0, -1, 1, -1, 4, -1, 5, -1, 8, -1, 9, -1, 12, -1, 13, -1, 0, -1, 1,
                                 -1, 4, -1, 5, -1, 8, -1, 9, -1, 12, -1, 13, -1);
    k.rWord = _mm256_setr_epi8(2, -1, -1, -1, 6, -1, -1, -1, 10, -1, -1, -1, 14, -1, -1, -1, 2, -1,
                               -1, -1, 6, -1, -1, -1, 10, -1, -1, -1, 14, -1, -1, -1);
    k.low16 = _mm256_set1_epi32(0xFFFF);
    k.one16 = _mm256_set1_epi32(1 << 16);
    k.bias257 = _mm256_set1_epi32(257 << 16);
    k.byte = _mm256_set1_epi32(0xFF);
    k.zero = _mm256_setzero_si256();
    k.top = _mm256_set1_epi32(255);
    k.half = _mm256_set1_epi32(128);
    k.alpha = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
    k.rounding = _mm256_set1_epi32(1 << 13);
    // OpenCV's 8-bit YUV constants, scaled by 2^14, with their rounding terms
    // folded in where a word is free: 257 * 8192 = (128 << 14) + 8192, and
    // 2u * 16646 = u * 33292.
    k.toY = _mm256_set1_epi32(pair(1868, 9617));
    k.rToY = _mm256_set1_epi32(pair(4899, 8192));
    k.toU = _mm256_set1_epi32(pair(8061, 8192));
    k.toV = _mm256_set1_epi32(pair(14369, 8192));
    k.uToB = _mm256_set1_epi32(pair(16646, 8192));
    k.uvToG = _mm256_set1_epi32(pair(-6472, -9519));
    k.vToR = _mm256_set1_epi32(pair(18678, 8192));
    return k;
}

AVX2 inline __m256i clampByte(__m256i value, const Constants& k) {
    return _mm256_max_epi32(_mm256_min_epi32(value, k.top), k.zero);
}

// Lanes (low word, high word) from two lanes of small signed values.
AVX2 inline __m256i wordPair(__m256i low, __m256i high, const Constants& k) {
    return _mm256_or_si256(_mm256_and_si256(low, k.low16), _mm256_slli_epi32(high, 16));
}

AVX2 inline __m256i withOne(__m256i low, const Constants& k) {
    return _mm256_or_si256(_mm256_and_si256(low, k.low16), k.one16);
}

// First half of the pass for eight pixels: luma into `y`, chroma (centred)
// into `u` and `v`.
AVX2 inline void splitEight(__m256i pixels, int32_t* y, int32_t* u, int32_t* v,
                            const Constants& k) {
    __m256i bg = _mm256_shuffle_epi8(pixels, k.bgWords);
    __m256i r1 = _mm256_or_si256(_mm256_shuffle_epi8(pixels, k.rWord), k.one16);
    __m256i luma = _mm256_srai_epi32(
        _mm256_add_epi32(_mm256_madd_epi16(bg, k.toY), _mm256_madd_epi16(r1, k.rToY)), 14);
    __m256i b = _mm256_and_si256(pixels, k.byte);
    __m256i r = _mm256_and_si256(_mm256_srli_epi32(pixels, 16), k.byte);
    __m256i bMinusY =
        _mm256_or_si256(_mm256_and_si256(_mm256_sub_epi32(b, luma), k.low16), k.bias257);
    __m256i rMinusY =
        _mm256_or_si256(_mm256_and_si256(_mm256_sub_epi32(r, luma), k.low16), k.bias257);
    __m256i blueDifference = _mm256_sub_epi32(
        clampByte(_mm256_srai_epi32(_mm256_madd_epi16(bMinusY, k.toU), 14), k), k.half);
    __m256i redDifference = _mm256_sub_epi32(
        clampByte(_mm256_srai_epi32(_mm256_madd_epi16(rMinusY, k.toV), 14), k), k.half);
    _mm256_store_si256(reinterpret_cast<__m256i*>(y), luma);
    _mm256_store_si256(reinterpret_cast<__m256i*>(u), blueDifference);
    _mm256_store_si256(reinterpret_cast<__m256i*>(v), redDifference);
}

// The blend's factors in lanes: value * weight + colour, in single precision,
// multiplied and added separately (no fused multiply-add) like the portable pass.
struct BlendConstants {
    __m256 weight, blue, green, red;
    __m256i fourth;  // the fourth byte: 255 blended with 0, already in place
};

AVX2 BlendConstants makeBlend(const SkinBlend& blend) {
    BlendConstants b;
    b.weight = _mm256_set1_ps(blend.pictureWeight);
    b.blue = _mm256_set1_ps(blend.colour[0]);
    b.green = _mm256_set1_ps(blend.colour[1]);
    b.red = _mm256_set1_ps(blend.colour[2]);
    float fourth = 255.0f * blend.pictureWeight + blend.colour[3];
    int rounded = _mm256_cvtsi256_si32(_mm256_cvtps_epi32(_mm256_set1_ps(fourth)));
    rounded = rounded < 0 ? 0 : (rounded > 255 ? 255 : rounded);
    b.fourth = _mm256_set1_epi32(static_cast<int>(static_cast<uint32_t>(rounded) << 24));
    return b;
}

// Rounded half to even by the conversion's default rounding, then saturated.
AVX2 inline __m256i blendChannel(__m256i channel, __m256 weight, __m256 colour,
                                 const Constants& k) {
    __m256 value = _mm256_add_ps(_mm256_mul_ps(_mm256_cvtepi32_ps(channel), weight), colour);
    return clampByte(_mm256_cvtps_epi32(value), k);
}

// Second half: the curved luma with the chroma back to B, G, R.
AVX2 inline __m256i joinEight(const int32_t* curved, const int32_t* u, const int32_t* v,
                              const Constants& k, const BlendConstants* blend) {
    __m256i luma = _mm256_load_si256(reinterpret_cast<const __m256i*>(curved));
    __m256i blueDifference = _mm256_load_si256(reinterpret_cast<const __m256i*>(u));
    __m256i redDifference = _mm256_load_si256(reinterpret_cast<const __m256i*>(v));
    __m256i blue = _mm256_srai_epi32(
        _mm256_madd_epi16(withOne(_mm256_slli_epi32(blueDifference, 1), k), k.uToB), 14);
    __m256i green = _mm256_srai_epi32(
        _mm256_add_epi32(_mm256_madd_epi16(wordPair(blueDifference, redDifference, k), k.uvToG),
                         k.rounding),
        14);
    __m256i red = _mm256_srai_epi32(_mm256_madd_epi16(withOne(redDifference, k), k.vToR), 14);
    blue = clampByte(_mm256_add_epi32(luma, blue), k);
    green = clampByte(_mm256_add_epi32(luma, green), k);
    red = clampByte(_mm256_add_epi32(luma, red), k);
    __m256i fourth = k.alpha;
    if (blend != nullptr) {
        blue = blendChannel(blue, blend->weight, blend->blue, k);
        green = blendChannel(green, blend->weight, blend->green, k);
        red = blendChannel(red, blend->weight, blend->red, k);
        fourth = blend->fourth;
    }
    return _mm256_or_si256(_mm256_or_si256(blue, _mm256_slli_epi32(green, 8)),
                           _mm256_or_si256(_mm256_slli_epi32(red, 16), fourth));
}

// A block of pixels in three sweeps: split, look the luma up in the curve
// (plain loads: cheaper than gathers on many processors), join.
constexpr size_t kBlock = 256;

AVX2 void curveBlock(uint32_t* pixels, size_t count, const int32_t* curve, const Constants& k,
                     const BlendConstants* blend) {
    alignas(32) int32_t y[kBlock], u[kBlock], v[kBlock];
    for (size_t i = 0; i < count; i += 8) {
        splitEight(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(pixels + i)), y + i, u + i,
                   v + i, k);
    }
    for (size_t i = 0; i < count; ++i) {
        y[i] = curve[y[i]];
    }
    for (size_t i = 0; i < count; i += 8) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(pixels + i),
                            joinEight(y + i, u + i, v + i, k, blend));
    }
}

AVX2 void curvePixels(uint32_t* pixels, size_t count, const int32_t* curve,
                      const BlendConstants* blend) {
    const Constants k = makeConstants();
    size_t i = 0;
    for (; i + kBlock <= count; i += kBlock) {
        curveBlock(pixels + i, kBlock, curve, k, blend);
    }
    if (i < count) {
        // The rest goes through a padded block, so every pixel gets the same bytes.
        alignas(32) uint32_t tail[kBlock] = {};
        size_t rest = count - i;
        for (size_t j = 0; j < rest; ++j) {
            tail[j] = pixels[i + j];
        }
        curveBlock(tail, (rest + 7) / 8 * 8, curve, k, blend);
        for (size_t j = 0; j < rest; ++j) {
            pixels[i + j] = tail[j];
        }
    }
}
}  // namespace

AVX2 void applySkinCurveAvx2(uint32_t* pixels, size_t count, const int32_t* curve) {
    curvePixels(pixels, count, curve, nullptr);
}

AVX2 void applySkinCurveAndBlendAvx2(uint32_t* pixels, size_t count, const int32_t* curve,
                                     const SkinBlend& blend) {
    const BlendConstants constants = makeBlend(blend);
    curvePixels(pixels, count, curve, &constants);
}
