#pragma once

// The size of a picture in pixels.
struct PictureSize {
    int width = 0;
    int height = 0;
    bool operator==(const PictureSize&) const = default;
};

// What the channel carries now: the pictures' size and how many come a
// second.
struct PictureMode {
    PictureSize size;
    int rate = 0;
    bool operator==(const PictureMode&) const = default;
};
