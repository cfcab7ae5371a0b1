#pragma once

#include <opencv2/core.hpp>

#include <cstdint>
#include <memory>

#include "base/video_frame.h"

// The buffers of one graph run: the 32-bit working frame (cleared to black
// when made), an image header over it, and the 24-bit image the outputs get.
// Made when the worker starts and reused for every tick; made anew only when
// the picture size changes.
struct FrameWorkspace {
    explicit FrameWorkspace(int32_t frameWidth = VideoFrame::kWidth,
                            int32_t frameHeight = VideoFrame::kHeight)
        : width(frameWidth),
          height(frameHeight),
          size32(VideoFrame::Size32(frameWidth, frameHeight)),
          frame32(new uint8_t[size32]()),
          image32(frameHeight, frameWidth, CV_8UC4, frame32.get(),
                  VideoFrame::RowBytes(frameWidth, 32)),
          image24(frameHeight, frameWidth, CV_8UC3) {}

    const uint8_t* Frame24() const { return image24.ptr<uint8_t>(); }
    // The 24-bit rows are packed (OpenCV's rows); the channel and recorder
    // take them padded to 4 bytes, which every mode's width already gives.
    size_t Size24() const { return image24.total() * image24.elemSize(); }

    int32_t width;
    int32_t height;
    uint32_t size32;
    std::unique_ptr<uint8_t[]> frame32;
    cv::Mat image32;  // header only, over frame32
    cv::Mat image24;  // rows of width * 3 bytes, contiguous
};
