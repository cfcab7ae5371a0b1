#include "effects/cam_streatch_effect.h"

#include <opencv2/imgproc.hpp>

#include "engine/scoped_lock.h"

CamStreatchEffect::CamStreatchEffect(int value) : VideoEffect(EFFECT_ORDER_DEFAULT) {
    setValue(value);
}

void CamStreatchEffect::setValue(int value) {
    ScopedLock guard(lock_);
    value_ = value;
    stretched_.release();
    band_ = cv::Rect();
    if (value <= 0) {
        return;
    }
    const int h = Height(), w = Width();
    int bandHeight = (h * h) / (h + (h * value) / 100);
    stretched_.create(h, w, CV_8UC4);
    band_ = cv::Rect(0, (h - bandHeight) / 2, w, bandHeight);
}

int CamStreatchEffect::value() const {
    ScopedLock guard(lock_);
    return value_;
}

cv::Rect CamStreatchEffect::band() const {
    ScopedLock guard(lock_);
    return band_;
}

void CamStreatchEffect::Process(uint8_t* data, size_t size, int32_t, int32_t) {
    ScopedLock guard(lock_);
    const int h = Height(), w = Width();
    if (stretched_.empty() || size < static_cast<size_t>(w) * h * 4) {
        return;
    }
    cv::Mat frame(h, w, CV_8UC4, data, static_cast<size_t>(w) * 4);
    cv::resize(frame(band_), stretched_, stretched_.size(), 0, 0, cv::INTER_LINEAR);
    stretched_.copyTo(frame);
}
