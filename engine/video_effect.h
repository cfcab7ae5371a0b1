#pragma once

#include <cstddef>
#include <cstdint>

#include "base/video_frame.h"

// Sort keys of the effects in an EffectChain; smaller runs first.
constexpr int32_t EFFECT_ORDER_SKIN_COLOR = -10;  // also: runs on camera pictures only
// The background effect: after the beautify, so that a replacement picture or
// colour keeps the colours it was given, and before the pendant, the inset
// and the caption, which stay sharp on top of a blurred background. Runs on
// camera and video file pictures only.
constexpr int32_t EFFECT_ORDER_BACKGROUND = -5;
constexpr int32_t EFFECT_ORDER_DEFAULT = 10;  // pendant, stretch
constexpr int32_t EFFECT_ORDER_SMALL_VIDEO = 500;
constexpr int32_t EFFECT_ORDER_TEXT = 1000;

// Changes a 32-bit frame in place. Process runs on whichever thread applies
// the chain that holds the effect (the graph's worker, or a camera's delivery
// thread); an effect that the user interface reconfigures guards its own state.
// An effect never reports errors: when it cannot work it leaves frames alone.
class VideoEffect {
public:
    explicit VideoEffect(int32_t order = EFFECT_ORDER_DEFAULT) : order_(order) {}
    virtual ~VideoEffect() = default;
    VideoEffect(const VideoEffect&) = delete;
    VideoEffect& operator=(const VideoEffect&) = delete;

    virtual void Process(uint8_t* data, size_t size, int32_t width, int32_t height) = 0;

    int32_t Order() const { return order_; }
    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }

protected:
    // An effect made for pictures of another size than 640 x 480.
    void SetPictureSize(int32_t width, int32_t height) {
        width_ = width;
        height_ = height;
    }

private:
    int32_t order_;
    int32_t width_ = VideoFrame::kWidth;
    int32_t height_ = VideoFrame::kHeight;
};
