#include "effects/background_passes.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <type_traits>
#include <vector>

#include "base/simd_dispatch.h"
#include "effects/mask_blend_avx2.h"

namespace {
// The two rows of `big` that one row of `small` feeds, from `small`'s rows
// above (a), at (b) and below (c): 3/4 of b and 1/4 of a (upper) or c
// (lower), then the same along the row.
template <typename T, int C, typename Wide>
LUMORA_VECTORISED void doubleRow(const T* __restrict a, const T* __restrict b,
                                 const T* __restrict c, int width, Wide* __restrict upper,
                                 Wide* __restrict lower, T* __restrict outUpper,
                                 T* __restrict outLower) {
    const int n = width * C;
    for (int i = 0; i < n; ++i) {
        upper[i] = static_cast<Wide>(a[i] + 3 * static_cast<Wide>(b[i]));
        lower[i] = static_cast<Wide>(c[i] + 3 * static_cast<Wide>(b[i]));
    }
    // The sums are four times the value in each direction, sixteen in all.
    auto finish = [](Wide sum) -> T {
        if constexpr (std::is_floating_point_v<T>) {
            return static_cast<T>(sum * (1.0f / 16.0f));
        } else {
            return static_cast<T>((sum + 8) >> 4);
        }
    };
    for (int pass = 0; pass < 2; ++pass) {
        const Wide* v = pass == 0 ? upper : lower;
        T* out = pass == 0 ? outUpper : outLower;
        for (int ch = 0; ch < C; ++ch) {
            out[ch] = finish(static_cast<Wide>(3 * v[ch] + v[ch]));
            out[(2 * width - 1) * C + ch] =
                finish(static_cast<Wide>(3 * v[(width - 1) * C + ch] + v[(width - 1) * C + ch]));
        }
        for (int x = 0; x + 1 < width; ++x) {
            for (int ch = 0; ch < C; ++ch) {
                const Wide left = v[x * C + ch];
                const Wide right = v[(x + 1) * C + ch];
                out[(2 * x + 1) * C + ch] = finish(static_cast<Wide>(3 * left + right));
                out[(2 * x + 2) * C + ch] = finish(static_cast<Wide>(left + 3 * right));
            }
        }
    }
}

template <typename T, int C, typename Wide>
void doubleImage(const cv::Mat& small, cv::Mat& big) {
    const int w = small.cols;
    const int h = small.rows;
    // Two rows of wide sums live past the end of `big`'s own rows would be
    // simplest, but `big` is the caller's; they sit in a thread-local buffer
    // made once per width instead.
    thread_local std::vector<Wide> sums;
    if (sums.size() < static_cast<size_t>(2 * w * C)) {
        sums.resize(static_cast<size_t>(2 * w * C));
    }
    for (int y = 0; y < h; ++y) {
        const T* a = small.ptr<T>(std::max(y - 1, 0));
        const T* b = small.ptr<T>(y);
        const T* c = small.ptr<T>(std::min(y + 1, h - 1));
        doubleRow<T, C, Wide>(a, b, c, w, sums.data(), sums.data() + w * C, big.ptr<T>(2 * y),
                              big.ptr<T>(2 * y + 1));
    }
}

// One row of doubleRow's result for a span of big columns [2 from, 2 to),
// without scratch: each output pair from the vertical sums of three
// neighbouring small columns (far + 3 near, near being the small row the
// big row lies in), edges repeated, added in the order doubleRow adds them:
// big column 2m is v[m - 1] + 3 v[m], 2m + 1 is 3 v[m] + v[m + 1]. The pair
// of bytes is written as one 16-bit store (low byte first), so the loop
// vectorises.
LUMORA_VECTORISED void doubleByteSpan(const uint8_t* __restrict near, const uint8_t* __restrict far,
                                      int width, int from, int to, uint8_t* __restrict out) {
    using Pair = uint16_t __attribute__((may_alias, aligned(1)));
    auto* pairs = reinterpret_cast<Pair*>(out);
    auto sum = [&](int x) { return static_cast<uint16_t>(far[x] + 3 * near[x]); };
    auto pair = [](uint16_t left, uint16_t middle, uint16_t right) {
        const auto even = static_cast<uint16_t>((left + 3 * middle + 8) >> 4);
        const auto odd = static_cast<uint16_t>((3 * middle + right + 8) >> 4);
        return static_cast<uint16_t>(even | (odd << 8));
    };
    // The columns with both neighbours inside are [first, last).
    int first = from;
    int last = to;
    if (from == 0) {
        pairs[0] = pair(sum(0), sum(0), sum(std::min(1, width - 1)));
        first = 1;
    }
    if (to == width && last > first) {
        const int m = width - 1;
        pairs[m - from] = pair(sum(m - 1), sum(m), sum(m));
        last = m;
    }
    for (int m = first; m < last; ++m) {
        pairs[m - from] = pair(sum(m - 1), sum(m), sum(m + 1));
    }
}

// The same for two floats a pixel.
LUMORA_VECTORISED void doublePairSpan(const float* __restrict near, const float* __restrict far,
                                      int width, int from, int to, float* __restrict out) {
    auto sum = [&](int x, int ch) { return far[2 * x + ch] + 3 * near[2 * x + ch]; };
    auto write = [&](int m, int ch, float left, float middle, float right) {
        out[4 * (m - from) + ch] = (left + 3 * middle) * (1.0f / 16.0f);
        out[4 * (m - from) + 2 + ch] = (3 * middle + right) * (1.0f / 16.0f);
    };
    int first = from;
    int last = to;
    if (from == 0) {
        for (int ch = 0; ch < 2; ++ch) {
            write(0, ch, sum(0, ch), sum(0, ch), sum(std::min(1, width - 1), ch));
        }
        first = 1;
    }
    if (to == width && last > first) {
        const int m = width - 1;
        for (int ch = 0; ch < 2; ++ch) {
            write(m, ch, sum(m - 1, ch), sum(m, ch), sum(m, ch));
        }
        last = m;
    }
    for (int m = first; m < last; ++m) {
        for (int ch = 0; ch < 2; ++ch) {
            write(m, ch, sum(m - 1, ch), sum(m, ch), sum(m + 1, ch));
        }
    }
}

// The small row a big row lies in, and the one beyond it.
int beyondRow(int bigRow, int rows) {
    const int i = bigRow / 2;
    return bigRow % 2 == 0 ? std::max(i - 1, 0) : std::min(i + 1, rows - 1);
}
}  // namespace

void doubleByteSpan(const cv::Mat& small, int bigRow, int from, int to, uint8_t* out) {
    if (from < to) {
        doubleByteSpan(small.ptr<uint8_t>(bigRow / 2),
                       small.ptr<uint8_t>(beyondRow(bigRow, small.rows)), small.cols, from, to,
                       out);
    }
}

void doublePairSpan(const cv::Mat& small, int bigRow, int from, int to, float* out) {
    if (from < to) {
        doublePairSpan(small.ptr<float>(bigRow / 2),
                       small.ptr<float>(beyondRow(bigRow, small.rows)), small.cols, from, to, out);
    }
}

LUMORA_VECTORISED void halveRows(const uint8_t* __restrict top, const uint8_t* __restrict bottom,
                                 int halfWidth, uint8_t* __restrict out) {
    for (int x = 0; x < halfWidth; ++x) {
        for (int ch = 0; ch < 4; ++ch) {
            const int sum =
                top[8 * x + ch] + top[8 * x + 4 + ch] + bottom[8 * x + ch] + bottom[8 * x + 4 + ch];
            out[4 * x + ch] = static_cast<uint8_t>((sum + 2) >> 2);
        }
    }
}

// The luma as a byte, then a * luma + b through a float: two loops that
// vectorise.
LUMORA_VECTORISED void refineRow(const uint8_t* __restrict picture,
                                 const float* __restrict coefficients, int width,
                                 uint8_t* __restrict grey, uint8_t* __restrict mask) {
    for (int x = 0; x < width; ++x) {
        grey[x] = static_cast<uint8_t>(
            (picture[4 * x] * 29 + picture[4 * x + 1] * 150 + picture[4 * x + 2] * 77 + 128) >> 8);
    }
    for (int x = 0; x < width; ++x) {
        float q = coefficients[2 * x] * (grey[x] * (1.0f / 255.0f)) + coefficients[2 * x + 1];
        q = q < 0.0f ? 0.0f : (q > 1.0f ? 1.0f : q);
        mask[x] = static_cast<uint8_t>(static_cast<int>(q * 255.0f + 0.5f));
    }
}

namespace {

// Sums over a window of 2 radius + 1 pixels along each row, cut at the edges;
// four floats a pixel.
void boxRows(const cv::Mat& in, cv::Mat& out, int radius, cv::Mat& rowScratch) {
    const int w = in.cols;
    float* prefix = rowScratch.ptr<float>(0);
    for (int y = 0; y < in.rows; ++y) {
        const float* src = in.ptr<float>(y);
        float* dst = out.ptr<float>(y);
        prefix[0] = prefix[1] = prefix[2] = prefix[3] = 0.0f;
        for (int x = 0; x < w; ++x) {
            for (int ch = 0; ch < 4; ++ch) {
                prefix[4 * x + 4 + ch] = prefix[4 * x + ch] + src[4 * x + ch];
            }
        }
        for (int x = 0; x < w; ++x) {
            const int high = 4 * std::min(x + radius + 1, w);
            const int low = 4 * std::max(x - radius, 0);
            for (int ch = 0; ch < 4; ++ch) {
                dst[4 * x + ch] = prefix[high + ch] - prefix[low + ch];
            }
        }
    }
}

// The blurred colour sums divided by the blurred weight; where the weight is
// too small (no background near) the picture's own pixel.
LUMORA_VECTORISED void divideRow(const uint8_t* __restrict picture, const float* __restrict sums,
                                 int width, float enough, uint8_t* __restrict out) {
    for (int x = 0; x < width; ++x) {
        const float weight = sums[4 * x + 3];
        const bool near = weight >= enough;
        const float scale = near ? 1.0f / weight : 0.0f;
        for (int ch = 0; ch < 3; ++ch) {
            const float blurred = std::min(sums[4 * x + ch] * scale + 0.5f, 255.0f);
            out[4 * x + ch] = near ? static_cast<uint8_t>(blurred) : picture[4 * x + ch];
        }
        out[4 * x + 3] = picture[4 * x + 3];
    }
}

// Each pixel of `out` the sum of a 2 x 2 block of four-float pixels.
LUMORA_VECTORISED void sumPairs(const float* __restrict top, const float* __restrict bottom,
                                int halfWidth, float* __restrict out) {
    for (int x = 0; x < halfWidth; ++x) {
        for (int ch = 0; ch < 4; ++ch) {
            out[4 * x + ch] =
                top[8 * x + ch] + top[8 * x + 4 + ch] + bottom[8 * x + ch] + bottom[8 * x + 4 + ch];
        }
    }
}

// Each pixel's colours times its background weight max(0, 1 - 2 p), and the
// weight.
LUMORA_VECTORISED void weighRow(const uint8_t* __restrict picture,
                                const float* __restrict probability, int width,
                                float* __restrict out) {
    for (int x = 0; x < width; ++x) {
        const float w = std::max(0.0f, 1.0f - 2.0f * probability[x]);
        out[4 * x] = picture[4 * x] * w;
        out[4 * x + 1] = picture[4 * x + 1] * w;
        out[4 * x + 2] = picture[4 * x + 2] * w;
        out[4 * x + 3] = w;
    }
}

LUMORA_VECTORISED void addRow(float* __restrict sum, const float* __restrict row, int n,
                              float sign) {
    for (int i = 0; i < n; ++i) {
        sum[i] += sign * row[i];
    }
}

// The same down each column, with one running row.
void boxColumns(const cv::Mat& in, cv::Mat& out, int radius, cv::Mat& rowScratch) {
    const int n = in.cols * 4;
    auto* sum = rowScratch.ptr<float>(0);
    std::fill(sum, sum + n, 0.0f);
    for (int y = 0; y <= std::min(radius, in.rows - 1); ++y) {
        addRow(sum, in.ptr<float>(y), n, 1.0f);
    }
    for (int y = 0; y < in.rows; ++y) {
        std::copy(sum, sum + n, out.ptr<float>(y));
        if (y + radius + 1 < in.rows) {
            addRow(sum, in.ptr<float>(y + radius + 1), n, 1.0f);
        }
        if (y - radius >= 0) {
            addRow(sum, in.ptr<float>(y - radius), n, -1.0f);
        }
    }
}
}  // namespace

void downscaleHalf(const cv::Mat& full, cv::Mat& half) {
    for (int y = 0; y < half.rows; ++y) {
        halveRows(full.ptr<uint8_t>(2 * y), full.ptr<uint8_t>(2 * y + 1), half.cols,
                  half.ptr<uint8_t>(y));
    }
}

void upsampleDouble(const cv::Mat& small, cv::Mat& big) {
    switch (small.type()) {
        case CV_8UC4:
            doubleImage<uint8_t, 4, uint16_t>(small, big);
            break;
        case CV_8UC1:
            doubleImage<uint8_t, 1, uint16_t>(small, big);
            break;
        case CV_32FC2:
            doubleImage<float, 2, float>(small, big);
            break;
        default:
            break;
    }
}

void refineMask(const cv::Mat& picture, const cv::Mat& coefficients, cv::Mat& greyRow,
                cv::Mat& mask) {
    uint8_t* grey = greyRow.ptr<uint8_t>(0);
    for (int y = 0; y < picture.rows; ++y) {
        refineRow(picture.ptr<uint8_t>(y), coefficients.ptr<float>(y), picture.cols, grey,
                  mask.ptr<uint8_t>(y));
    }
}

void MaskedBlurScratch::make(cv::Size picture) {
    const cv::Size half(picture.width / 2, picture.height / 2);
    weighted.create(picture, CV_32FC4);
    sums.create(half, CV_32FC4);
    passed.create(half, CV_32FC4);
    row.create(1, std::max(half.width, half.height) + 1, CV_32FC4);
    small.create(half, CV_8UC4);
    divided.create(half, CV_8UC4);
}

void maskedBlur(const cv::Mat& picture, const cv::Mat& probability, int radius,
                MaskedBlurScratch& scratch, cv::Mat& blurred) {
    for (int y = 0; y < picture.rows; ++y) {
        weighRow(picture.ptr<uint8_t>(y), probability.ptr<float>(y), picture.cols,
                 scratch.weighted.ptr<float>(y));
    }
    for (int y = 0; y < scratch.sums.rows; ++y) {
        sumPairs(scratch.weighted.ptr<float>(2 * y), scratch.weighted.ptr<float>(2 * y + 1),
                 scratch.sums.cols, scratch.sums.ptr<float>(y));
    }
    for (int pass = 0; pass < 2; ++pass) {
        boxRows(scratch.sums, scratch.passed, radius, scratch.row);
        boxColumns(scratch.passed, scratch.sums, radius, scratch.row);
    }
    downscaleHalf(picture, scratch.small);
    const float side = static_cast<float>(2 * radius + 1);
    const float enough = 4e-3f * side * side * side * side;
    for (int y = 0; y < scratch.small.rows; ++y) {
        divideRow(scratch.small.ptr<uint8_t>(y), scratch.sums.ptr<float>(y), scratch.small.cols,
                  enough, scratch.divided.ptr<uint8_t>(y));
    }
    upsampleDouble(scratch.divided, blurred);
}

// The mask's 0..255 as a weight of 0..256, so that 255 keeps the frame's
// bytes exactly and the sums fit 16-bit lanes: x * w + y * (256 - w) + 128
// is at most 65,408.
namespace {
void blendBackgroundPlain(uint8_t* __restrict frame, const uint8_t* __restrict background,
                          const uint8_t* __restrict mask, size_t pixels) {
    for (size_t i = 0; i < pixels; ++i) {
        const uint16_t m = static_cast<uint16_t>(mask[i] + (mask[i] >> 7));
        const uint16_t rest = static_cast<uint16_t>(256 - m);
        for (int ch = 0; ch < 4; ++ch) {
            frame[4 * i + ch] = static_cast<uint8_t>(
                (frame[4 * i + ch] * m + background[4 * i + ch] * rest + 128) >> 8);
        }
    }
}

void blendColourPlain(uint8_t* __restrict frame, const uint8_t colour[4],
                      const uint8_t* __restrict mask, size_t pixels) {
    for (size_t i = 0; i < pixels; ++i) {
        const uint16_t m = static_cast<uint16_t>(mask[i] + (mask[i] >> 7));
        const uint16_t rest = static_cast<uint16_t>(256 - m);
        uint8_t* px = frame + 4 * i;
        for (int ch = 0; ch < 4; ++ch) {
            px[ch] = static_cast<uint8_t>((px[ch] * m + colour[ch] * rest + 128) >> 8);
        }
    }
}

bool hasAvx2() {
    static const bool available = __builtin_cpu_supports("avx2");
    return available;
}
}  // namespace

void blendBackground(uint8_t* frame, const uint8_t* background, const uint8_t* mask,
                     size_t pixels) {
    if (hasAvx2()) {
        blendBackgroundAvx2(frame, background, mask, pixels);
    } else {
        blendBackgroundPlain(frame, background, mask, pixels);
    }
}

void blendColour(uint8_t* frame, const uint8_t colour[4], const uint8_t* mask, size_t pixels) {
    if (hasAvx2()) {
        blendColourAvx2(frame, colour, mask, pixels);
    } else {
        blendColourPlain(frame, colour, mask, pixels);
    }
}

// wchar_t is four bytes here, and the C library's wmemset is written for
// every vector width.
void fillColour(uint8_t* frame, const uint8_t colour[4], size_t pixels) {
    static_assert(sizeof(wchar_t) == 4);
    wchar_t pixel;
    std::memcpy(&pixel, colour, 4);
    std::wmemset(reinterpret_cast<wchar_t*>(frame), pixel, pixels);
}
