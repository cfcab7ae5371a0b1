#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// A picture prepared for laying over frames: premultiplied B, G, R, A pixels,
// rows bottom first like the frames, kept only for the runs of each row that
// are not fully transparent. A pendant is mostly transparent, so this keeps a
// small fraction of its frames' bytes, and compositing touches only what
// shows.
struct OverlayImage {
    struct Run {
        int32_t row;    // row in the image, bottom row first
        int32_t begin;  // first column
        int32_t end;    // one past the last column
        size_t offset;  // where the run's pixels start in `pixels`
    };
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint32_t> pixels;  // the runs' pixels, one run after another
    std::vector<Run> runs;

    bool empty() const { return width == 0 || height == 0; }
};

class QImage;

// A picture turned into an overlay: its visible runs, premultiplied, bottom
// row first.
OverlayImage overlayFromImage(const QImage& picture);

// Lays `image` with its top-left corner at picture position (left, top) over a
// bottom-row-first 32-bit frame of frameWidth x frameHeight. Parts outside
// the frame are cut off; the frame's fourth byte is left as it was.
void compositeOverlay(const OverlayImage& image, int32_t left, int32_t top, uint8_t* frame,
                      int32_t frameWidth, int32_t frameHeight);
