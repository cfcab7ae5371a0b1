#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "base/simply_callback.h"

// What a player delivered of a video made with frame numbers
// (TestVideo::frameNumbers): for every frame its number and width, and every
// stream end. Frames come as a receiver of the capture library would get them,
// or are noted by a source that passes its own frames on.
//
// Threads: frames are noted on a delivery thread, read on the test's.
class FrameNumberLog : public ISimplyCallBack {
public:
    struct Entry {
        std::optional<int> number;  // empty: no number in the picture, or a stream end
        int width = 0;
        bool streamEnd = false;
    };

    // A frame of one of the output modes' sizes, or a stream end.
    void OnSimplyCallBack(int msg, unsigned char* data, long size) override;
    void noteFrame(const uint8_t* frame, int width, int height);
    void noteStreamEnd();

    std::vector<Entry> entries() const;
    size_t size() const;

    // One pass through the file: the frames between two stream ends.
    struct Pass {
        size_t distinct = 0;     // frames of `width` with a number, each number once
        size_t otherFrames = 0;  // frames of another width or without a number
    };
    // The first whole pass that begins after entry `from`; empty while no
    // such pass has ended.
    std::optional<Pass> wholePassAfter(size_t from, int width) const;

private:
    mutable std::mutex lock_;  // guards entries_
    std::vector<Entry> entries_;
};
