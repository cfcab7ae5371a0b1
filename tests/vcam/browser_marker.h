#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "engine/video_effect.h"

// Paints what a browser page reads back from each picture
// (tests/vcam/browser/camera_page.html): eight colour patches along the top,
// then two rows of 24 black or white squares, the picture's number and the
// low 24 bits of the wall-clock millisecond it was composed at. Runs last in
// the graph, so the marker is what the virtual camera sends.
class BrowserMarker : public VideoEffect {
public:
    static constexpr std::array<std::array<uint8_t, 3>, 8> kPatchesRgb{{{255, 255, 255},
                                                                        {0, 0, 0},
                                                                        {255, 0, 0},
                                                                        {0, 255, 0},
                                                                        {0, 0, 255},
                                                                        {255, 255, 0},
                                                                        {0, 255, 255},
                                                                        {255, 0, 255}}};
    static constexpr int kPatchLeft = 16, kPatchTop = 16, kPatchStep = 76;
    static constexpr int kPatchWidth = 64, kPatchHeight = 48;
    static constexpr int kBits = 24, kBitLeft = 32, kBitWidth = 24, kBitHeight = 24;
    static constexpr int kNumberTop = 96, kStampTop = 136;

    BrowserMarker() : VideoEffect(EFFECT_ORDER_TEXT + 1000) {}
    void Process(uint8_t* data, size_t size, int32_t width, int32_t height) override;

    uint32_t painted() const { return number_.load(); }

private:
    std::atomic<uint32_t> number_{0};
};
