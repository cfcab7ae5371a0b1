#pragma once

#include <cstdint>

#include "base/video_frame.h"

// The size and rate of the pictures Lumora makes. 640 x 480 at 15 fps is the
// standard; the two high-definition modes are chosen in the camera panel.
struct OutputMode {
    int32_t width = VideoFrame::kWidth;
    int32_t height = VideoFrame::kHeight;
    int32_t frameRate = 15;

    constexpr uint32_t Size32() const { return VideoFrame::Size32(width, height); }
    constexpr uint32_t Size24() const { return VideoFrame::Size24(width, height); }
    constexpr bool operator==(const OutputMode&) const = default;
};

inline constexpr OutputMode kStandardMode{640, 480, 15};
inline constexpr OutputMode kHd720Mode{1280, 720, 30};
inline constexpr OutputMode kHd1080Mode{1920, 1080, 30};
// The largest picture any mode makes; buffers that must never grow on the
// frame thread are sized for it.
inline constexpr OutputMode kLargestMode = kHd1080Mode;
