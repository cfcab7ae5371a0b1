#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "engine/video_output.h"

// Reads every picture a graph composes across its middle line, at the
// centres of eight equal vertical bars (the colour bars of a test signal),
// and keeps what it read with the time of the tick. Cheap enough for the
// graph's thread under emulation: eight pixels a picture.
class BarReadingOutput : public VideoOutput {
public:
    static constexpr int kBars = 8;
    using Clock = std::chrono::steady_clock;
    using Pixel = std::array<uint8_t, 3>;  // B, G, R
    struct Reading {
        Clock::time_point when;
        std::array<Pixel, kBars> bars;
    };

    void OnFrame32(const uint8_t* data, size_t size, int32_t width, int32_t height) override;

    // The nearest named colour of each bar in the latest picture; empty
    // before the first.
    std::vector<std::string> latestColours() const;
    // The mean of B, G and R at one bar in the latest picture; -1 before the first.
    int latestLevel(int bar) const;
    // When the first picture composed after `after` showed `colour` at every
    // bar; nothing when none did yet.
    std::optional<Clock::time_point> firstAllOf(const std::string& colour,
                                                Clock::time_point after) const;

private:
    mutable std::mutex lock_;  // guards readings_
    std::vector<Reading> readings_;
};
