#pragma once

#include <string>
#include <vector>

// Real video files for tests, made with ffmpeg: 640 x 480 H.264 with AAC sound
// (a 440 Hz tone) in MP4. The picture is one body colour with a band of
// another colour along its top rows, so that a frame read upside down is told
// apart at once; an optional second colour takes over half-way through, so a
// seek can be checked by what the picture shows, and an optional band shows
// each frame's number.
struct TestVideo {
    double seconds = 1.0;
    int fps = 15;
    std::string body = "red";        // ffmpeg colour names
    std::string topBand = "yellow";  // the top 48 rows; empty: none
    std::string secondHalf;          // empty: one colour throughout
    bool sound = true;
    // Fine noise over the picture, new in every frame: the file then takes
    // about 1.4 MB a second, so its first bytes hold only a moment of it.
    bool grain = false;
    // Each frame's number in a band of black and white cells
    // (tests/support/frame_number_band.h), to tell which frame is shown.
    bool frameNumbers = false;
};

// False (with ffmpeg's complaint on stderr) when the file could not be made.
bool makeTestVideo(const std::string& path, const TestVideo& video);

// A folder of its own for a test's files, removed with everything in it.
// A file's bytes as a string; empty when it cannot be read.
std::string contentsOf(const std::string& path);

// The files anywhere under `folder` (other than `except`) whose bytes hold
// `needle`.
std::vector<std::string> filesHolding(const std::string& folder, const std::string& needle,
                                      const std::string& except = "");

class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};
