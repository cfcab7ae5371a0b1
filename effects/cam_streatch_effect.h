#pragma once

#include <opencv2/core.hpp>

#include <array>
#include <cstdint>
#include <mutex>
#include <vector>

#include "engine/video_effect.h"

// Face slimming: cuts a band out of the middle of the picture and stretches
// it to the full height, so faces look slimmer. The value is the stretch in
// percent; 0 or less leaves frames alone. The band is the same share of the
// picture at every size. The width does not change, so the stretch is a
// vertical bilinear interpolation (as OpenCV's linear resize places its
// samples), with weights in 1/256 steps.
//
// One effect serves both cameras, whose pictures may differ in size (an HD
// main camera beside a 640 x 480 inset), so it keeps one layout per size,
// two at most: rows and a scratch picture are made when a size is first seen
// or the value changes, never per frame while the sizes stay.
//
// Threads: Process runs on the cameras' delivery threads, setValue on the
// user-interface thread; one lock covers both.
class CamStreatchEffect : public VideoEffect {
public:
    explicit CamStreatchEffect(int value);

    void setValue(int value);
    int value() const;
    // The band that is stretched: x, y (in memory rows), width, height, for
    // the last picture size seen (640 x 480 until a picture comes). Empty
    // while inert.
    cv::Rect band() const;
    // How many times rows were laid out since construction: once per value
    // and size in use, and once more whenever a third size pushes one out.
    int layoutsMade() const;

    void Process(uint8_t* data, size_t size, int32_t width, int32_t height) override;

private:
    // For each output row: the band row above it and the weight (0..256) of
    // the band row below it, for bilinear interpolation between the two.
    struct RowBlend {
        int32_t upper;
        int32_t lower;
        uint16_t lowerWeight;
    };

    // The band, the row blends and the scratch picture for one size.
    struct Layout {
        int32_t width = 0;
        int32_t height = 0;
        cv::Rect band;
        std::vector<RowBlend> rows;
        cv::Mat stretched;  // one BGRx picture, kept while active
    };

    // Works out the band and the row blends for pictures of the layout's size.
    void layOut(Layout& layout);
    // The layout for this size, laid out anew in the one used least recently
    // when neither has it.
    Layout& layoutFor(int32_t width, int32_t height);

    mutable std::mutex lock_;  // guards the value, the layouts and their scratch pictures
    int value_ = 0;
    std::array<Layout, 2> layouts_;
    size_t lastUsed_ = 0;  // index into layouts_ of the size last processed
    int layoutsMade_ = 0;
};
