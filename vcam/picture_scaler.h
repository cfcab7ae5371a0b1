#pragma once

#include <cstdint>
#include <vector>

#include "vcam/picture_mode.h"

// Scales a channel picture (24-bit B, G, R, rows padded to 4 bytes) to
// another size, bilinearly, for the consumers that keep a size of their own
// after the channel's changed: stretched to fill it, or letterboxed (the
// picture's proportions kept, centred, black around it). Row order is kept,
// so bottom-row-first stays so. The tables are made once per pair of sizes,
// in prepare(); scale() allocates nothing.
class PictureScaler {
public:
    enum class Fit { Stretch, Letterbox };
    void prepare(PictureSize from, PictureSize to, Fit fit = Fit::Stretch);
    PictureSize from() const { return from_; }
    PictureSize to() const { return to_; }
    // `source` is a picture of from(), `destination` one of to().
    void scale(const uint8_t* source, uint8_t* destination) const;

private:
    // For each target column (or row): the first of the two source ones it
    // lies between, and the weight of the second, out of 256.
    struct Taps {
        std::vector<uint32_t> first;
        std::vector<uint32_t> weight;
    };
    static Taps tapsFor(int from, int to);

    PictureSize from_;
    PictureSize to_;
    PictureSize inner_;  // where the picture goes inside to_; to_ when stretched
    int left_ = 0;       // the inner picture's first column and row in to_
    int top_ = 0;
    Taps columns_;
    Taps rows_;
};
