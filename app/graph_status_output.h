#pragma once

#include <atomic>
#include <cstdint>

#include "engine/video_output.h"

// Counts the pictures a graph delivers, for the status line of the console
// build and for anyone who wants to know that frames flow.
class GraphStatusOutput : public VideoOutput {
public:
    void OnFrame24(const uint8_t* data, size_t size, int32_t width, int32_t height) override;
    uint64_t FrameCount() const { return frames_.load(std::memory_order_relaxed); }

private:
    std::atomic<uint64_t> frames_{0};
};
