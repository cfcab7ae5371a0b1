#pragma once

#include <opencv2/core.hpp>

#include <cstdint>
#include <memory>

#include "base/video_frame.h"

// The buffers of one graph run: the 32-bit working frame (cleared to black
// when made), an image header over it, and the 24-bit image the outputs get.
// Made once when the worker starts and reused for every tick.
struct FrameWorkspace {
    FrameWorkspace()
        : frame32(new uint8_t[VideoFrame::kSize32]()),
          image32(VideoFrame::kHeight, VideoFrame::kWidth, CV_8UC4, frame32.get(),
                  VideoFrame::kRowBytes32),
          image24(VideoFrame::kHeight, VideoFrame::kWidth, CV_8UC3) {}

    const uint8_t* Frame24() const { return image24.ptr<uint8_t>(); }

    std::unique_ptr<uint8_t[]> frame32;
    cv::Mat image32;  // header only, over frame32
    cv::Mat image24;  // rows of 1920 bytes, contiguous
};
