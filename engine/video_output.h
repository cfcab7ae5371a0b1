#pragma once

#include <cstddef>
#include <cstdint>

#include "base/video_frame.h"

// Receives every composed picture of a graph, in both layouts: OnFrame32 then
// OnFrame24 of the same tick, on the graph's worker thread. The data is valid
// only during the call; an output copies what it keeps and never reports
// errors to the graph (it becomes inert instead).
class VideoOutput {
public:
    VideoOutput() = default;
    virtual ~VideoOutput() = default;
    VideoOutput(const VideoOutput&) = delete;
    VideoOutput& operator=(const VideoOutput&) = delete;

    virtual void OnFrame32(const uint8_t* data, size_t size, int32_t width, int32_t height) {
        (void)data, (void)size, (void)width, (void)height;
    }
    virtual void OnFrame24(const uint8_t* data, size_t size, int32_t width, int32_t height) {
        (void)data, (void)size, (void)width, (void)height;
    }

    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }

protected:
    // An output made for pictures of another size than 640 x 480.
    void SetPictureSize(int32_t width, int32_t height) {
        width_ = width;
        height_ = height;
    }

private:
    int32_t width_ = VideoFrame::kWidth;
    int32_t height_ = VideoFrame::kHeight;
};
