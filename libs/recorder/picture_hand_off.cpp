#include "libs/recorder/picture_hand_off.h"

#include <utility>

#include "base/video_frame.h"

PictureHandOff::~PictureHandOff() { finish(); }

void PictureHandOff::start(int width, int height, Deliver deliver) {
    finish();
    width_ = width;
    height_ = height;
    deliver_ = std::move(deliver);
    for (Slot& slot : slots_) {
        slot.picture.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
    }
    {
        std::lock_guard<std::mutex> guard(lock_);
        for (State& state : states_) {
            state = State::Free;
        }
        nextFill_ = 0;
        nextDeliver_ = 0;
        leftOut_ = 0;
        running_ = true;
        finishing_ = false;
    }
    thread_ = std::thread([this] { run(); });
}

bool PictureHandOff::hand(const uint8_t* bottomUpBgr, uint64_t pts, uint64_t duration) {
    int index = 0;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (!running_ || finishing_ || states_[nextFill_] != State::Free) {
            ++leftOut_;
            return false;
        }
        index = nextFill_;
        states_[index] = State::Filling;
        nextFill_ = (nextFill_ + 1) % kSlots;
    }
    Slot& slot = slots_[index];
    VideoFrame::CopyFlipped(bottomUpBgr, slot.picture.data(), static_cast<uint32_t>(width_) * 3,
                            height_);
    slot.pts = pts;
    slot.duration = duration;
    {
        std::lock_guard<std::mutex> guard(lock_);
        states_[index] = State::Waiting;
    }
    wake_.notify_one();
    return true;
}

void PictureHandOff::run() {
    for (;;) {
        int index = 0;
        {
            std::unique_lock<std::mutex> guard(lock_);
            wake_.wait(guard, [this] {
                return states_[nextDeliver_] == State::Waiting ||
                       (finishing_ && states_[nextDeliver_] == State::Free);
            });
            if (states_[nextDeliver_] != State::Waiting) {
                return;  // finishing, and nothing waits
            }
            index = nextDeliver_;
            states_[index] = State::Delivering;
        }
        const Slot& slot = slots_[index];
        deliver_(slot.picture.data(), slot.pts, slot.duration);
        {
            std::lock_guard<std::mutex> guard(lock_);
            states_[index] = State::Free;
            nextDeliver_ = (nextDeliver_ + 1) % kSlots;
        }
    }
}

void PictureHandOff::finish() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (!running_) {
            return;
        }
        finishing_ = true;
    }
    wake_.notify_one();
    thread_.join();
    std::lock_guard<std::mutex> guard(lock_);
    running_ = false;
}

uint64_t PictureHandOff::leftOut() const {
    std::lock_guard<std::mutex> guard(lock_);
    return leftOut_;
}
