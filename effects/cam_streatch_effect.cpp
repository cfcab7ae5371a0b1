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
    layOut(pictureWidth_, pictureHeight_);
}

void CamStreatchEffect::layOut(int32_t w, int32_t h) {
    pictureWidth_ = w;
    pictureHeight_ = h;
    stretched_.release();
    band_ = cv::Rect();
    rows_.clear();
    if (value_ <= 0) {
        return;
    }
    int bandHeight = (h * h) / (h + (h * value_) / 100);
    stretched_.create(h, w, CV_8UC4);
    band_ = cv::Rect(0, (h - bandHeight) / 2, w, bandHeight);
    const double scale = static_cast<double>(bandHeight) / h;
    rows_.reserve(static_cast<size_t>(h));
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
    if (value_ <= 0 || width <= 0 || height <= 0 ||
        size < static_cast<size_t>(width) * height * 4) {
        return;
    }
    // The rows are laid out again only when the output mode changes the
    // picture's size, so the same share of the picture is stretched at
    // every size.
    if (width != pictureWidth_ || height != pictureHeight_) {
        layOut(width, height);
    }
    const size_t rowBytes = static_cast<size_t>(width) * 4;
    for (int row = 0; row < height; ++row) {
        const RowBlend& blend = rows_[static_cast<size_t>(row)];
        blendRows(data + blend.upper * rowBytes, data + blend.lower * rowBytes, blend.lowerWeight,
                  stretched_.ptr<uint8_t>(row), rowBytes);
    }
    std::memcpy(data, stretched_.data, rowBytes * height);
}
