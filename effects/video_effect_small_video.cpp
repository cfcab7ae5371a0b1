#include "effects/video_effect_small_video.h"

#include <opencv2/imgproc.hpp>

#include <cmath>

#include "engine/video_source.h"

VideoEffectSmallVideo::VideoEffectSmallVideo(VideoSource* source)
    : VideoEffect(EFFECT_ORDER_SMALL_VIDEO),
      source_(source),
      sourceWidth_(source ? source->Width() : 0),
      sourceHeight_(source ? source->Height() : 0) {
    int insetWidth = sourceWidth_ / 3;
    int insetHeight = sourceHeight_ / 3;
    standardInset_ = cv::Rect(sourceWidth_ - sourceWidth_ / 50 - insetWidth, sourceHeight_ / 50,
                              insetWidth, insetHeight);
    // The inset must lie inside the frame whatever the source's size.
    standardInset_ &= cv::Rect(0, 0, VideoFrame::kWidth, VideoFrame::kHeight);
    fitTo(VideoFrame::kWidth, VideoFrame::kHeight);
}

void VideoEffectSmallVideo::fitTo(int32_t width, int32_t height) {
    frameWidth_ = width;
    frameHeight_ = height;
    const double across = static_cast<double>(width) / VideoFrame::kWidth;
    const double down = static_cast<double>(height) / VideoFrame::kHeight;
    const cv::Rect& at = standardInset_;
    inset_ = cv::Rect(static_cast<int>(std::lround(at.x * across)),
                      static_cast<int>(std::lround(at.y * down)),
                      static_cast<int>(std::lround(at.width * across)),
                      static_cast<int>(std::lround(at.height * down)));
    inset_ &= cv::Rect(0, 0, width, height);
    small_.release();
    if (!inset_.empty()) {
        small_.create(inset_.height, inset_.width, CV_8UC4);
    }
}

void VideoEffectSmallVideo::shrinkFrame(void* self, const uint8_t* frame, uint32_t frameSize,
                                        int32_t width, int32_t height) {
    auto* effect = static_cast<VideoEffectSmallVideo*>(self);
    // A source that changed its size since construction is not followed.
    if (width != effect->sourceWidth_ || height != effect->sourceHeight_ ||
        frameSize < static_cast<uint32_t>(width) * height * 4) {
        return;
    }
    cv::Mat picture(height, width, CV_8UC4, const_cast<uint8_t*>(frame),
                    static_cast<size_t>(width) * 4);
    cv::resize(picture, effect->small_, effect->small_.size(), 0, 0, cv::INTER_NEAREST);
    effect->shrunk_ = true;
}

void VideoEffectSmallVideo::Process(uint8_t* data, size_t size, int32_t width, int32_t height) {
    if (source_ == nullptr || standardInset_.empty() || width <= 0 || height <= 0 ||
        size < static_cast<size_t>(width) * height * 4) {
        return;
    }
    // Another output mode: the inset keeps its share of the picture and its
    // place, worked out again only when the size changes.
    if (width != frameWidth_ || height != frameHeight_) {
        fitTo(width, height);
    }
    if (small_.empty()) {
        return;
    }
    shrunk_ = false;
    if (!source_->ReadFrame(&VideoEffectSmallVideo::shrinkFrame, this) || !shrunk_) {
        return;
    }
    cv::Mat frame(height, width, CV_8UC4, data, static_cast<size_t>(width) * 4);
    small_.copyTo(frame(inset_));
}
