#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/child_process.h"

// A picture size and rate of the graph, as a mode change gives them.
struct FeedMode {
    int width;
    int height;
    int rate;
};

// Plays the graph towards the virtual camera in a process of its own: feeds
// VCamOutput pictures of the first mode at its rate, on absolute deadlines,
// each with a white marker that moves one step a picture (see markerColumn).
// Each nextMode() moves on to the next mode, as a mode change in the program
// does: the mode is told first (VCamOutput::SetMode), one more picture of the
// old one follows, then pictures of the new size come. It runs until it is
// killed.
class ModeFeeder {
public:
    static constexpr int kMarkerSize = 16;

    explicit ModeFeeder(std::vector<FeedMode> modes);
    ~ModeFeeder();
    ModeFeeder(const ModeFeeder&) = delete;
    ModeFeeder& operator=(const ModeFeeder&) = delete;

    bool started() const { return started_; }
    void nextMode();
    void kill();

private:
    ChildProcess process_;
    bool started_ = false;
};

// Whether the channel's block in `runtimeDir` holds a picture of `mode`.
bool channelShows(const std::string& runtimeDir, const FeedMode& mode);

// Where the marker is in a top-row-first picture with `bytesPerPixel` (3:
// B, G, R; 4: B, G, R, x): the first column of the top row that is white, or
// -1 when there is none (not a picture of the feeder).
int markerColumn(const uint8_t* picture, int width, int bytesPerPixel);

// The mean of the colour bytes of a top-row-first picture.
double meanBrightness(const uint8_t* picture, size_t size, int bytesPerPixel);
