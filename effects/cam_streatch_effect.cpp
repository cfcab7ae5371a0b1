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
    layouts_[0].width = VideoFrame::kWidth;
    layouts_[0].height = VideoFrame::kHeight;
    setValue(value);
}

void CamStreatchEffect::setValue(int value) {
    ScopedLock guard(lock_);
    value_ = value;
    for (Layout& layout : layouts_) {
        if (layout.width > 0) {
            layOut(layout);
        }
    }
}

void CamStreatchEffect::layOut(Layout& layout) {
    const int32_t w = layout.width, h = layout.height;
    layout.stretched.release();
    layout.band = cv::Rect();
    layout.rows.clear();
    ++layoutsMade_;
    if (value_ <= 0) {
        return;
    }
    int bandHeight = (h * h) / (h + (h * value_) / 100);
    layout.stretched.create(h, w, CV_8UC4);
    layout.band = cv::Rect(0, (h - bandHeight) / 2, w, bandHeight);
    const double scale = static_cast<double>(bandHeight) / h;
    layout.rows.reserve(static_cast<size_t>(h));
    for (int row = 0; row < h; ++row) {
        double at = (row + 0.5) * scale - 0.5;
        int upper = static_cast<int>(std::floor(at));
        int weight = static_cast<int>(std::lround((at - upper) * 256));
        if (upper < 0) {
            upper = 0;
            weight = 0;
        }
        int lower = std::min(upper + 1, bandHeight - 1);
        layout.rows.push_back({layout.band.y + std::min(upper, bandHeight - 1),
                               layout.band.y + lower, static_cast<uint16_t>(weight)});
    }
}

CamStreatchEffect::Layout& CamStreatchEffect::layoutFor(int32_t width, int32_t height) {
    for (size_t i = 0; i < layouts_.size(); ++i) {
        if (layouts_[i].width == width && layouts_[i].height == height) {
            lastUsed_ = i;
            return layouts_[i];
        }
    }
    lastUsed_ = (lastUsed_ + 1) % layouts_.size();
    Layout& layout = layouts_[lastUsed_];
    layout.width = width;
    layout.height = height;
    layOut(layout);
    return layout;
}

int CamStreatchEffect::value() const {
    ScopedLock guard(lock_);
    return value_;
}

cv::Rect CamStreatchEffect::band() const {
    ScopedLock guard(lock_);
    return layouts_[lastUsed_].band;
}

int CamStreatchEffect::layoutsMade() const {
    ScopedLock guard(lock_);
    return layoutsMade_;
}

void CamStreatchEffect::Process(uint8_t* data, size_t size, int32_t width, int32_t height) {
    ScopedLock guard(lock_);
    if (value_ <= 0 || width <= 0 || height <= 0 ||
        size < static_cast<size_t>(width) * height * 4) {
        return;
    }
    // The same share of the picture is stretched at every size.
    Layout& layout = layoutFor(width, height);
    const size_t rowBytes = static_cast<size_t>(width) * 4;
    for (int row = 0; row < height; ++row) {
        const RowBlend& blend = layout.rows[static_cast<size_t>(row)];
        blendRows(data + blend.upper * rowBytes, data + blend.lower * rowBytes, blend.lowerWeight,
                  layout.stretched.ptr<uint8_t>(row), rowBytes);
    }
    std::memcpy(data, layout.stretched.data, rowBytes * height);
}
