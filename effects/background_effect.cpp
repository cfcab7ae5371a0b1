#include "effects/background_effect.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <utility>

#include "base/debug_log.h"
#include "base/scoped_lock.h"

int backgroundBlurRadius(BlurStrength strength) {
    switch (strength) {
        case BlurStrength::Light:
            return 1;
        case BlurStrength::Medium:
            return 2;
        case BlurStrength::Strong:
            return 4;
    }
    return 2;
}

namespace {
// The caller's picture as BGRA, top row first; empty when it is of no type
// we take.
cv::Mat toBgra(const cv::Mat& picture) {
    cv::Mat bgra;
    if (picture.empty() || picture.depth() != CV_8U) {
        return bgra;
    }
    switch (picture.channels()) {
        case 1:
            cv::cvtColor(picture, bgra, cv::COLOR_GRAY2BGRA);
            break;
        case 3:
            cv::cvtColor(picture, bgra, cv::COLOR_BGR2BGRA);
            break;
        case 4:
            bgra = picture.clone();
            break;
        default:
            break;
    }
    return bgra;
}
}  // namespace

BackgroundEffect::BackgroundEffect(const SegmentationModel& model)
    : VideoEffect(EFFECT_ORDER_BACKGROUND), worker_(std::make_unique<SegmentationWorker>()) {
    if (!worker_->start(model, &problem_)) {
        if (problem_.empty()) {
            problem_ = "unknown failure";
        }
        debugLog(
            "background effect: the segmentation network %s cannot be used (%s); frames "
            "pass unchanged",
            model.path.c_str(), problem_.c_str());
        worker_.reset();
    }
}

BackgroundEffect::~BackgroundEffect() = default;

void BackgroundEffect::setMode(BackgroundMode mode) {
    ScopedLock guard(lock_);
    mode_ = mode;
}

void BackgroundEffect::setBlurStrength(BlurStrength strength) {
    ScopedLock guard(lock_);
    strength_ = strength;
}

void BackgroundEffect::setPicture(const cv::Mat& picture) {
    cv::Mat bgra = toBgra(picture);
    ScopedLock guard(lock_);
    std::swap(picture_, bgra);
    fittedValid_ = false;
}

void BackgroundEffect::setPicture(const QImage& picture) {
    if (picture.isNull()) {
        setPicture(cv::Mat());
        return;
    }
    // RGB32 is B, G, R, x in memory.
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
    const cv::Mat view(rgb.height(), rgb.width(), CV_8UC4, const_cast<uchar*>(rgb.constBits()),
                       static_cast<size_t>(rgb.bytesPerLine()));
    setPicture(view);
}

void BackgroundEffect::setColour(uint8_t red, uint8_t green, uint8_t blue) {
    ScopedLock guard(lock_);
    colour_[0] = blue;
    colour_[1] = green;
    colour_[2] = red;
    colour_[3] = 255;
}

BackgroundMode BackgroundEffect::mode() const {
    ScopedLock guard(lock_);
    return mode_;
}

BlurStrength BackgroundEffect::blurStrength() const {
    ScopedLock guard(lock_);
    return strength_;
}

uint64_t BackgroundEffect::masksPublished() const { return worker_ ? worker_->published() : 0; }

cv::Mat BackgroundEffect::lastMask() const {
    ScopedLock guard(lock_);
    return blended_ ? fullMask_.clone() : cv::Mat();
}

void BackgroundEffect::makeBuffers(int32_t width, int32_t height) {
    frameSize_ = cv::Size(width, height);
    const cv::Size half(width / 2, height / 2);
    const cv::Size quarter(width / 4, height / 4);
    half_.create(half, CV_8UC4);
    halfCoeffs_.create(half, CV_32FC2);
    halfMask_.create(half, CV_8UC1);
    greyRow_.create(1, half.width, CV_8UC1);
    fullMask_.create(frameSize_, CV_8UC1);
    quarter_.create(quarter, CV_8UC4);
    quarterBlur_.create(quarter, CV_8UC4);
    halfBlur_.create(half, CV_8UC4);
    sumsRow_.create(1, 4 * width, CV_8UC4);
    blurScratch_.make(quarter);
    fittedValid_ = false;
    blended_ = false;
    restartDue_ = true;
    firstFreshMask_ = UINT64_MAX;
}

void BackgroundEffect::fitPicture() {
    fittedValid_ = true;
    fitted_.release();
    if (picture_.empty()) {
        return;
    }
    // Cover: the larger of the two scales, then the middle of the result.
    const double scale = std::max(static_cast<double>(frameSize_.width) / picture_.cols,
                                  static_cast<double>(frameSize_.height) / picture_.rows);
    const cv::Size scaled(
        std::max(frameSize_.width, static_cast<int>(std::lround(picture_.cols * scale))),
        std::max(frameSize_.height, static_cast<int>(std::lround(picture_.rows * scale))));
    cv::Mat resized;
    cv::resize(picture_, resized, scaled, 0, 0, scale < 1.0 ? cv::INTER_AREA : cv::INTER_LINEAR);
    const cv::Rect middle((scaled.width - frameSize_.width) / 2,
                          (scaled.height - frameSize_.height) / 2, frameSize_.width,
                          frameSize_.height);
    cv::flip(resized(middle), fitted_, 0);
}

void BackgroundEffect::Process(uint8_t* data, size_t size, int32_t width, int32_t height) {
    ScopedLock guard(lock_);
    if (mode_ == BackgroundMode::Off) {
        restartDue_ = true;
        firstFreshMask_ = UINT64_MAX;
        return;
    }
    if (!worker_ || width < 16 || height < 16 || width % 8 != 0 || height % 8 != 0 ||
        size < static_cast<size_t>(width) * static_cast<size_t>(height) * 4) {
        return;
    }
    if (frameSize_ != cv::Size(width, height)) {
        makeBuffers(width, height);
    }
    const cv::Mat frame(height, width, CV_8UC4, data);
    downscaleHalf(frame, half_);
    const auto now = std::chrono::steady_clock::now();
    ++framesSinceOffer_;
    if (restartDue_ || (framesSinceOffer_ >= 2 && now - lastOffer_ >= kOfferInterval)) {
        uint64_t sequence = 0;
        if (worker_->offer(half_, restartDue_, &sequence)) {
            lastOffer_ = now;
            framesSinceOffer_ = 0;
            if (restartDue_) {
                restartDue_ = false;
                firstFreshMask_ = sequence;
            }
        }
    }
    worker_->takeNewest(&mask_);
    if (mask_.sequence < firstFreshMask_ || mask_.pictureSize != half_.size()) {
        return;
    }

    const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
    switch (mode_) {
        case BackgroundMode::Blur:
            downscaleHalf(half_, quarter_);
            maskedBlur(quarter_, mask_.probability, backgroundBlurRadius(strength_), blurScratch_,
                       quarterBlur_);
            upsampleDouble(quarterBlur_, halfBlur_);
            break;
        case BackgroundMode::Picture:
            if (!fittedValid_) {
                fitPicture();
            }
            if (fitted_.empty()) {
                return;
            }
            break;
        case BackgroundMode::Colour:
        case BackgroundMode::Off:
            break;
    }

    upsampleDouble(mask_.coefficients, halfCoeffs_);
    refineMask(half_, halfCoeffs_, greyRow_, halfMask_);
    upsampleDouble(halfMask_, fullMask_);
    if (mode_ == BackgroundMode::Colour) {
        blendColour(data, colour_, fullMask_.data, pixels);
    } else if (mode_ == BackgroundMode::Blur) {
        blendDoubledBackground(data, halfBlur_, fullMask_.data, sumsRow_);
    } else {
        blendBackground(data, fitted_.data, fullMask_.data, pixels);
    }
    blended_ = true;
}
