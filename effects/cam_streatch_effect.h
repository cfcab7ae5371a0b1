#pragma once

#include <opencv2/core.hpp>

#include <cstdint>
#include <mutex>
#include <vector>

#include "engine/video_effect.h"

// Face slimming: cuts a band out of the middle of the picture and stretches
// it to the full height, so faces look slimmer. The value is the stretch in
// percent; 0 or less leaves frames alone. The band is the same share of the
// picture at every size: its rows are laid out for the size of the pictures
// it last saw (640 x 480 until then). The width does not change, so the
// stretch is a vertical bilinear interpolation (as OpenCV's linear resize
// places its samples), with weights in 1/256 steps.
//
// Threads: Process runs on a camera's delivery thread, setValue on the
// user-interface thread; one lock covers both.
class CamStreatchEffect : public VideoEffect {
public:
    explicit CamStreatchEffect(int value);

    void setValue(int value);
    int value() const;
    // The band that is stretched: x, y (in memory rows), width, height, for
    // the last picture size seen. Empty while inert.
    cv::Rect band() const;

    void Process(uint8_t* data, size_t size, int32_t width, int32_t height) override;

private:
    // For each output row: the band row above it and the weight (0..256) of
    // the band row below it, for bilinear interpolation between the two.
    struct RowBlend {
        int32_t upper;
        int32_t lower;
        uint16_t lowerWeight;
    };

    // Works out the band and the row blends for pictures of this size.
    void layOut(int32_t width, int32_t height);

    mutable std::mutex lock_;  // guards the value, the layout and the stretched image
    int value_ = 0;
    int32_t pictureWidth_ = VideoFrame::kWidth;
    int32_t pictureHeight_ = VideoFrame::kHeight;
    cv::Rect band_;
    std::vector<RowBlend> rows_;
    cv::Mat stretched_;  // one BGRx picture, kept while active
};
