#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// Moves pictures from the thread that makes them to a thread of its own,
// where a consumer turns them into what it takes (the recorder: I420 for the
// encoder). The maker only copies the picture, turning it upright on the
// way; it never waits. When every slot still holds a picture the consumer
// has not reached, the new one is left out and counted.
//
// Pictures are 24-bit, bottom row first as handed, top row first as
// delivered, `width * 3` bytes a row; they are delivered in the order they
// were handed, with their time stamps.
//
// Threads: hand() from one making thread; start(), finish() and the
// destructor from one control thread, never while hand() runs. deliver runs
// on the hand-off's thread. lock_ guards the slots' states and the flags
// between the maker and that thread; it is never held while a picture is
// copied or delivered.
class PictureHandOff {
public:
    using Deliver = std::function<void(const uint8_t* uprightBgr, uint64_t pts, uint64_t duration)>;

    PictureHandOff() = default;
    ~PictureHandOff();
    PictureHandOff(const PictureHandOff&) = delete;
    PictureHandOff& operator=(const PictureHandOff&) = delete;

    // Makes the slots for pictures of this size and starts the thread.
    void start(int width, int height, Deliver deliver);
    // Copies the picture into a free slot for delivery; false when none is
    // free or the hand-off is not running (the picture is left out).
    bool hand(const uint8_t* bottomUpBgr, uint64_t pts, uint64_t duration);
    // Delivers the pictures still waiting, then ends the thread.
    void finish();
    // How many pictures hand() left out since start().
    uint64_t leftOut() const;

    static constexpr int kSlots = 2;

private:
    struct Slot {
        std::vector<uint8_t> picture;
        uint64_t pts = 0;
        uint64_t duration = 0;
    };
    enum class State { Free, Filling, Waiting, Delivering };

    void run();

    int width_ = 0;
    int height_ = 0;
    Deliver deliver_;
    Slot slots_[kSlots];
    std::thread thread_;

    mutable std::mutex lock_;
    std::condition_variable wake_;
    State states_[kSlots] = {State::Free, State::Free};
    int nextFill_ = 0;     // the slot the next picture goes to
    int nextDeliver_ = 0;  // the slot delivered next
    bool running_ = false;
    bool finishing_ = false;
    uint64_t leftOut_ = 0;
};
