#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

// Picture and sound kept together, judged by what they show: a test that is
// the microphone and the graph at once knows when each picture and each
// piece of sound happened. At chosen moments a white picture comes and, at
// the same moment of the steady clock, a click in the sound; read back from
// the file, each white picture and its click must come together.
//
// The sound is handed over as a microphone hands it: a block once all its
// samples have been heard. What a real sound server adds before the program
// gets its first block (its own capture latency) is not knowable here.

// Stands in for the microphone: 16-bit silence but for a 10 ms loud square
// wave at each moment announced, each block handed to `sink` when its last
// sample has been "heard". Moments are announced before they come, so the
// block that holds one is never made before it is known.
class ClickingMicrophone {
public:
    using Sink = std::function<void(const uint8_t* data, int bytes)>;
    ClickingMicrophone(Sink sink, int sampleRate, int channels, int blockFrames);
    ~ClickingMicrophone();
    ClickingMicrophone(const ClickingMicrophone&) = delete;
    ClickingMicrophone& operator=(const ClickingMicrophone&) = delete;

    // The first sample is heard at `from`; the first block comes a block
    // later.
    void start(std::chrono::steady_clock::time_point from);
    void stop();
    // A click at `when` (steady-clock nanoseconds, in the future); false
    // when no more can be held.
    bool announce(int64_t when);

private:
    void run(std::chrono::steady_clock::time_point from);
    void fill(std::vector<int16_t>& block, int64_t firstFrame, int64_t originNs);

    Sink sink_;
    int sampleRate_;
    int channels_;
    int blockFrames_;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::array<int64_t, 64> moments_{};  // written before announced_ counts them
    std::atomic<int> announced_{0};
};

// What handFlashes does: the pictures' size and rate, how many white
// pictures handed on time it takes.
struct FlashPlan {
    int width = 640;
    int height = 480;
    int frameRate = 15;
    int events = 8;
};

// Hands bottom-up 24-bit pictures to `hand` at the graph's pace from `grid`,
// and from a second after `ready` first holds, one white picture a second
// with a click announced to `microphone` for its moment; then a last second
// of black ones, so that the last click is out of the encoders. Whether each
// white picture was handed at its moment (one handed late on a busy machine
// is not to be judged); empty, with `problem` said, when the machine was too
// busy or `ready` never held.
std::vector<bool> handFlashes(const FlashPlan& plan, std::chrono::steady_clock::time_point grid,
                              ClickingMicrophone& microphone, const std::function<bool()>& ready,
                              const std::function<void(const uint8_t*, size_t)>& hand,
                              std::string* problem);

// A file's times of its white pictures, in seconds (every picture written
// out, no B-frames).
std::vector<double> whitePictureTimes(const std::string& path);
// A file's times of the clicks' beginnings, in seconds: the first loud
// sample after a tenth of a second of quiet, timed from the sound track's
// first packet.
std::vector<double> clickTimes(const std::string& path);
// For each white picture of a file, how long after it its nearest click
// comes (clicks are a second apart), in seconds; printed with `onTime`
// (see handFlashes). Empty, with `problem` said, when the file does not
// hold one white picture for each of `onTime` or no click.
std::vector<double> clickOffsets(const std::string& path, const std::vector<bool>& onTime,
                                 std::string* problem);
