#include "effects/background_effect.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstring>
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

cv::Mat BackgroundEffect::lastMask() {
    ScopedLock guard(lock_);
    if (!blended_) {
        return cv::Mat();
    }
    cv::Mat mask(frameSize_, CV_8UC1);
    refiner_.wholeMask(mask);
    return mask;
}

void BackgroundEffect::makeBuffers(int32_t width, int32_t height) {
    frameSize_ = cv::Size(width, height);
    half_.create(height / 2, width / 2, CV_8UC4);
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

// A blur of another radius than the newest mask's (the mode or the strength
// changed) is offered at once; the worker may be busy, so it is tried again
// each frame until one is taken.
void BackgroundEffect::offerIfDue(const cv::Mat& frame) {
    const int radius = mode_ == BackgroundMode::Blur ? backgroundBlurRadius(strength_) : 0;
    const bool blurWanted = radius > 0 && radius != mask_.blurRadius && radius != offeredRadius_;
    const auto now = std::chrono::steady_clock::now();
    ++framesSinceOffer_;
    if (!restartDue_ && !blurWanted &&
        (framesSinceOffer_ < 2 || now - lastOffer_ < kOfferInterval)) {
        return;
    }
    downscaleHalf(frame, half_);
    uint64_t sequence = 0;
    if (!worker_->offer(half_, restartDue_, &sequence, radius)) {
        return;
    }
    lastOffer_ = now;
    framesSinceOffer_ = 0;
    offeredRadius_ = radius;
    if (restartDue_) {
        restartDue_ = false;
        firstFreshMask_ = sequence;
    }
}

const uint8_t* BackgroundEffect::backgroundPixels() {
    if (mode_ == BackgroundMode::Blur) {
        // Until the new strength's blur comes, the last one stays.
        return mask_.background.size() == frameSize_ ? mask_.background.data : nullptr;
    }
    if (mode_ == BackgroundMode::Picture) {
        if (!fittedValid_) {
            fitPicture();
        }
        return fitted_.empty() ? nullptr : fitted_.data;
    }
    return nullptr;
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
    offerIfDue(frame);
    worker_->takeNewest(&mask_);
    if (mask_.sequence < firstFreshMask_ || mask_.pictureSize != half_.size()) {
        return;
    }
    const uint8_t* background = backgroundPixels();
    if (background == nullptr && mode_ != BackgroundMode::Colour) {
        return;
    }
    refiner_.prepare(frame, mask_);
    composite(data, background);
    blended_ = true;
}

// Person runs stay as they are, background runs take the background, and
// only the edge runs are blended.
void BackgroundEffect::composite(uint8_t* data, const uint8_t* background) {
    const size_t rowBytes = static_cast<size_t>(frameSize_.width) * 4;
    for (int y = 0; y < frameSize_.height; ++y) {
        uint8_t* row = data + static_cast<size_t>(y) * rowBytes;
        const uint8_t* behind =
            background != nullptr ? background + static_cast<size_t>(y) * rowBytes : nullptr;
        refiner_.forEachRun(y, [&](CellKind kind, int from, int to, const uint8_t* mask) {
            const auto count = static_cast<size_t>(to - from);
            uint8_t* pixels = row + 4 * from;
            if (kind == CellKind::Person) {
                return;
            }
            if (behind == nullptr) {
                if (kind == CellKind::Background) {
                    fillColour(pixels, colour_, count);
                } else {
                    blendColour(pixels, colour_, mask, count);
                }
            } else if (kind == CellKind::Background) {
                std::memcpy(pixels, behind + 4 * from, 4 * count);
            } else {
                blendBackground(pixels, behind + 4 * from, mask, count);
            }
        });
    }
}
