#pragma once

#include <opencv2/core.hpp>

#include "engine/video_effect.h"

class VideoSource;

// The second camera's picture as a small inset, a third of the frame in each
// direction, near a corner: for 640 x 480, 213 x 160 at x 415 and memory row
// 9 (the frame is bottom row first, so on screen 9 rows above the bottom and
// 12 columns from the right). The geometry is fixed at construction for a
// 640 x 480 picture; at another output mode the inset is scaled with the
// picture, so it covers the same share at the same place. A source without a
// valid frame shows no inset.
//
// Threads: Process runs on the graph's worker and holds the second source's
// lock only while it shrinks that source's frame.
class VideoEffectSmallVideo : public VideoEffect {
public:
    explicit VideoEffectSmallVideo(VideoSource* source);

    void Process(uint8_t* data, size_t size, int32_t width, int32_t height) override;

    // Where the inset goes, in memory rows of the last frame's size.
    cv::Rect insetRect() const { return inset_; }

private:
    static void shrinkFrame(void* self, const uint8_t* frame, uint32_t frameSize, int32_t width,
                            int32_t height);

    // Lays the inset out for pictures of this size.
    void fitTo(int32_t width, int32_t height);

    VideoSource* source_;
    int32_t sourceWidth_;
    int32_t sourceHeight_;
    cv::Rect standardInset_;  // the inset on a 640 x 480 picture
    cv::Rect inset_;
    int32_t frameWidth_ = VideoFrame::kWidth;
    int32_t frameHeight_ = VideoFrame::kHeight;
    cv::Mat small_;
    bool shrunk_ = false;
};
