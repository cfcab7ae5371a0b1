#include "effects/cam_streatch_effect.h"
#include "base/simd_dispatch.h"

#include <cmath>
#include <cstring>

#include "base/scoped_lock.h"

namespace {
// out = (upper * (256 - w) + lower * w + 128) / 256 for every byte of a row;
// 16-bit lanes, so it vectorises.
LUMORA_VECTORISED void blendRows(const uint8_t* __restrict upper, const uint8_t* __restrict lower,
                                 uint16_t lowerWeight, uint8_t* __restrict out, size_t bytes) {
    const uint16_t upperWeight = static_cast<uint16_t>(256 - lowerWeight);
    for (size_t i = 0; i < bytes; ++i) {
        out[i] = static_cast<uint8_t>((upper[i] * upperWeight + lower[i] * lowerWeight + 128) >> 8);
    }
}
}  // namespace

CamStreatchEffect::CamStreatchEffect(int value) : VideoEffect(EFFECT_ORDER_DEFAULT) {
    setValue(value);
}

void CamStreatchEffect::setValue(int value) {
    ScopedLock guard(lock_);
    value_ = value;
    stretched_.release();
    band_ = cv::Rect();
    rows_.clear();
    if (value <= 0) {
        return;
    }
    const int h = Height(), w = Width();
    int bandHeight = (h * h) / (h + (h * value) / 100);
    stretched_.create(h, w, CV_8UC4);
    band_ = cv::Rect(0, (h - bandHeight) / 2, w, bandHeight);
    const double scale = static_cast<double>(bandHeight) / h;
    for (int row = 0; row < h; ++row) {
        double at = (row + 0.5) * scale - 0.5;
        int upper = static_cast<int>(std::floor(at));
        int weight = static_cast<int>(std::lround((at - upper) * 256));
        if (upper < 0) {
            upper = 0;
            weight = 0;
        }
        int lower = std::min(upper + 1, bandHeight - 1);
        rows_.push_back({band_.y + std::min(upper, bandHeight - 1), band_.y + lower,
                         static_cast<uint16_t>(weight)});
    }
}

int CamStreatchEffect::value() const {
    ScopedLock guard(lock_);
    return value_;
}

cv::Rect CamStreatchEffect::band() const {
    ScopedLock guard(lock_);
    return band_;
}

void CamStreatchEffect::Process(uint8_t* data, size_t size, int32_t width, int32_t height) {
    ScopedLock guard(lock_);
    const int h = Height(), w = Width();
    // Its rows are worked out for its own picture size; another size is left
    // as it is rather than stretched with the wrong rows.
    if (stretched_.empty() || width != w || height != h || size < static_cast<size_t>(w) * h * 4) {
        return;
    }
    const size_t rowBytes = static_cast<size_t>(w) * 4;
    for (int row = 0; row < h; ++row) {
        const RowBlend& blend = rows_[static_cast<size_t>(row)];
        blendRows(data + blend.upper * rowBytes, data + blend.lower * rowBytes, blend.lowerWeight,
                  stretched_.ptr<uint8_t>(row), rowBytes);
    }
    std::memcpy(data, stretched_.data, rowBytes * h);
}
