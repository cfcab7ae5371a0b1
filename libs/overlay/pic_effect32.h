#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

#include "libs/overlay/overlay_image.h"

// An animated pendant laid over frames. The picture file (an animated GIF, or
// any still picture) is decoded once at construction, every frame composed as
// the file means it (disposal, transparency) and prepared for the frame size.
// Method 1 lays it over the whole picture: scaled down to fit keeping its
// proportions when larger, at its own size when smaller, centred; other
// methods behave the same. The animation follows the monotonic clock times
// the speed. A file that cannot be read leaves frames unchanged.
//
// Threads: one thread constructs, configures and processes (the graph's
// worker, inside the effect chain's lock).
class PicEffect32 {
public:
    PicEffect32(const wchar_t* path, int width, int height);
    ~PicEffect32();
    PicEffect32(const PicEffect32&) = delete;
    PicEffect32& operator=(const PicEffect32&) = delete;

    void setMethod(int method);
    void setSpeed(float speed);
    // Composites the current animation frame onto the 32-bit frame in place.
    void process(char* data, int size);

    int frameCount() const { return static_cast<int>(frames_.size()); }
    // Which animation frame `elapsed` (already scaled by the speed) shows.
    int frameAt(std::chrono::milliseconds elapsed) const;

private:
    void load(const wchar_t* path);

    int width_;
    int height_;
    int method_ = 1;
    float speed_ = 1.0f;
    std::vector<OverlayImage> frames_;
    std::vector<int64_t> frameEnds_;  // milliseconds from the start to each frame's end
    int32_t left_ = 0;
    int32_t top_ = 0;
    bool started_ = false;
    std::chrono::steady_clock::time_point start_;
};
