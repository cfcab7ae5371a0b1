#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "base/simply_callback.h"

// The colour name nearest to a pixel, among the few the test media use.
std::string nearestColour(const unsigned char* bgrx);

// A receiver for the capture library that notes, for every frame, the colour
// of the picture's middle and of its top band, and every stream end ("END").
// Frames are bottom row first: the picture's top band is the last rows.
class FrameLog : public ISimplyCallBack {
public:
    struct Entry {
        std::string body;  // colour at the picture's middle
        std::string top;   // colour of the picture's top rows
        bool streamEnd;
        long size;
        std::chrono::steady_clock::time_point when;
    };

    void OnSimplyCallBack(int msg, unsigned char* data, long size) override;

    std::vector<Entry> entries() const;
    size_t frames() const;
    size_t streamEnds() const;
    // The body colours in order, each run of equal ones once, "END" between.
    std::vector<std::string> story() const;
    // Waits until `condition` holds over the log, or the time-out passes.
    bool waitFor(const std::function<bool(const FrameLog&)>& condition,
                 std::chrono::milliseconds timeout = std::chrono::seconds(15)) const;

private:
    mutable std::mutex lock_;  // guards entries_
    mutable std::condition_variable changed_;
    std::vector<Entry> entries_;
};
