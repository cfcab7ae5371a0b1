#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/child_process.h"

// A program that opens a camera device through its own V4L2 capture, as
// call and streaming programs do, and hands every picture to the test as
// 24-bit R, G, B, top row first.
class LoopbackConsumer {
public:
    enum class Kind { Ffmpeg, GStreamer };

    LoopbackConsumer(Kind kind, std::string device, int width = 640, int height = 480);
    ~LoopbackConsumer();
    LoopbackConsumer(const LoopbackConsumer&) = delete;
    LoopbackConsumer& operator=(const LoopbackConsumer&) = delete;

    bool started() const { return started_; }
    // The next picture; false when the program ended or gave none in time
    // (for the first picture at least four minutes: the program's start).
    bool read(std::vector<uint8_t>* rgb, int timeoutMs = 20'000);
    // The newest picture the program has given: the next one, or when more
    // wait already, the last of those (at most 64 are passed over), so a
    // test slower than the program never falls behind the device. For tests
    // that ask what the device shows now, not in what order: a reader that
    // reads faster is handed old buffers of v4l2loopback 0.12's ring again.
    bool readNewest(std::vector<uint8_t>* rgb, int timeoutMs = 20'000);
    // Whether the program still runs.
    bool alive();
    void stop();
    static const char* name(Kind kind);

private:
    ChildProcess process_;
    int width_;
    int height_;
    bool started_ = false;
    bool readOne_ = false;
    std::vector<uint8_t> newer_;
};

// Captures `count` pictures with v4l2-ctl (memory-mapped streaming, the
// device's own YUYV) into a file and returns them as R, G, B; empty when
// v4l2-ctl failed.
std::vector<std::vector<uint8_t>> captureWithV4l2Ctl(const std::string& device, int count,
                                                     int width = 640, int height = 480);

// BT.601 limited-range YUYV to R, G, B, both top row first.
std::vector<uint8_t> yuyvToRgb(const uint8_t* yuyv, int width, int height);

// The number a BrowserMarker painted into an R, G, B picture, with the
// largest colour difference over its patches in `error`; nothing when the
// patches are not there (not a marked picture).
std::optional<uint32_t> markedNumber(const std::vector<uint8_t>& rgb, int width, double* error);

// Whether the card a loopback device shows now lists capture (what a call
// program looks for when it lists cameras). Opens the device.
bool offersCapture(const std::string& device);

// The size a loopback device gives its readers now, read from sysfs without
// opening the device; nothing while it is no capture device. Tests poll
// with this: v4l2loopback 0.12 frees a device's buffers without a lock on
// the last close, and two last closes at once (a poll's and the feeder's
// on a size change) free them twice.
std::optional<std::pair<int, int>> loopbackCaptureSize(const std::string& device);
