#include "outputs/shrink_by_three.h"

#include <cstddef>
#include <cstdint>

#include "base/simd_dispatch.h"
#include "outputs/shrink_by_three_avx2.h"

namespace {
// sums[i] = a[i] + b[i] + c[i]: the three rows of one block row.
LUMORA_VECTORISED void addRows(const uint8_t* __restrict a, const uint8_t* __restrict b,
                               const uint8_t* __restrict c, uint16_t* __restrict sums,
                               size_t bytes) {
    for (size_t i = 0; i < bytes; ++i) {
        sums[i] = static_cast<uint16_t>(a[i] + b[i] + c[i]);
    }
}

// Each output byte from three neighbouring pixels' column sums: a sum of
// nine bytes is at most 2295, and (sum * 7282 + 32768) >> 16 is sum / 9
// rounded for every such sum.
void addColumns(const uint16_t* __restrict sums, uint8_t* __restrict out, int outWidth) {
    for (int x = 0; x < outWidth; ++x) {
        const uint16_t* block = sums + static_cast<ptrdiff_t>(x) * 12;
        for (int channel = 0; channel < 4; ++channel) {
            uint32_t sum = block[channel] + block[channel + 4] + block[channel + 8];
            out[x * 4 + channel] = static_cast<uint8_t>((sum * 7282u + 32768u) >> 16);
        }
    }
}

}  // namespace

bool shrinkByThree(const cv::Mat& from, cv::Mat& to, ShrinkRows rows) {
    if (from.type() != CV_8UC4 || to.type() != CV_8UC4 || from.cols > kShrinkByThreeMaxWidth ||
        from.cols != to.cols * 3 || from.rows != to.rows * 3) {
        return false;
    }
    static const bool avx2 = __builtin_cpu_supports("avx2");
    uint16_t sums[kShrinkByThreeMaxWidth * 4];  // on the stack: no allocation per frame
    const size_t rowBytes = static_cast<size_t>(from.cols) * 4;
    for (int y = 0; y < to.rows; ++y) {
        const uint8_t* a = from.ptr<uint8_t>(3 * y);
        const uint8_t* b = from.ptr<uint8_t>(3 * y + 1);
        const uint8_t* c = from.ptr<uint8_t>(3 * y + 2);
        uint8_t* out = to.ptr<uint8_t>(rows == ShrinkRows::Kept ? y : to.rows - 1 - y);
        // The AVX2 pass makes whole groups of eight; the plain loops make
        // the rest of the row (all of it without AVX2).
        const int made = avx2 ? shrinkRowByThreeAvx2(a, b, c, out, to.cols) : 0;
        const size_t skipped = static_cast<size_t>(made) * 12;
        addRows(a + skipped, b + skipped, c + skipped, sums, rowBytes - skipped);
        addColumns(sums, out + static_cast<size_t>(made) * 4, to.cols - made);
    }
    return true;
}
