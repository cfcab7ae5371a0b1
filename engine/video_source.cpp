#include "engine/video_source.h"

#include <algorithm>
#include <cstring>

#include "base/scoped_lock.h"
#include "base/video_frame.h"

VideoSource::VideoSource()
    : width_(VideoFrame::kWidth),
      height_(VideoFrame::kHeight),
      frameData_(new uint8_t[VideoFrame::kSize32]),
      frameSize_(VideoFrame::kSize32) {}

VideoSource::~VideoSource() = default;

void VideoSource::SetFrameSize(int32_t width, int32_t height) {
    ScopedLock guard(lock_);
    if (width == width_ && height == height_) {
        return;
    }
    frameSize_ = VideoFrame::Size32(width, height);
    frameData_.reset(new uint8_t[frameSize_]);
    width_ = width;
    height_ = height;
    frameValid_ = false;
}

void VideoSource::PushFrame(const uint8_t* data, size_t size) {
    if (data == nullptr) {
        return;
    }
    ScopedLock guard(lock_);
    std::memcpy(frameData_.get(), data, std::min<size_t>(size, frameSize_));
    frameValid_ = true;
}

void VideoSource::SetFrameValid(bool valid) {
    ScopedLock guard(lock_);
    frameValid_ = valid;
}

int32_t VideoSource::Width() const {
    ScopedLock guard(lock_);
    return width_;
}

int32_t VideoSource::Height() const {
    ScopedLock guard(lock_);
    return height_;
}

uint32_t VideoSource::FrameSize() const {
    ScopedLock guard(lock_);
    return frameSize_;
}

bool VideoSource::FrameValid() const {
    ScopedLock guard(lock_);
    return frameValid_;
}

bool VideoSource::CopyFrameIfValid(uint8_t* dest, size_t capacity) const {
    ScopedLock guard(lock_);
    if (!frameValid_) {
        return false;
    }
    std::memcpy(dest, frameData_.get(), std::min<size_t>(capacity, frameSize_));
    return true;
}

bool VideoSource::ReadFrame(FrameReader reader, void* context) const {
    ScopedLock guard(lock_);
    if (!frameValid_) {
        return false;
    }
    reader(context, frameData_.get(), frameSize_, width_, height_);
    return true;
}
