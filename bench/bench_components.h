#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <vector>

#include "engine/video_effect.h"
#include "engine/video_output.h"
#include "engine/video_source.h"

// A still picture of pseudo-random bytes that is always running: what the
// placeholder is to the graph, or, with SOURCE_TYPE_CAMERA, a camera whose
// pictures the beautify presets take.
class StillSource : public VideoSource {
public:
    explicit StillSource(int32_t width = VideoFrame::kWidth, int32_t height = VideoFrame::kHeight,
                         int32_t type = SOURCE_TYPE_PICTURE);
    int32_t Start() override { return 0; }
    void Stop() override {}
    bool IsRunning() override { return true; }
};

// An effect that does nothing: measures the chain's own cost.
class NoOpEffect : public VideoEffect {
public:
    void Process(uint8_t*, size_t, int32_t, int32_t) override {}
};

// Notes when each tick's picture arrives, into a buffer reserved up front.
class TimestampOutput : public VideoOutput {
public:
    explicit TimestampOutput(size_t capacity) { stamps_.reserve(capacity); }
    void OnFrame32(const uint8_t*, size_t, int32_t, int32_t) override;
    // Safe to read once the graph has stopped.
    const std::vector<std::chrono::steady_clock::time_point>& stamps() const { return stamps_; }
    size_t count() const { return count_.load(); }

private:
    std::vector<std::chrono::steady_clock::time_point> stamps_;
    std::atomic<size_t> count_{0};
};
