#include "vcam/reader_loop.h"

#include <algorithm>
#include <cstring>
#include <ctime>

#include "base/video_frame.h"

namespace {
void advance(timespec& deadline, long periodNs) {
    deadline.tv_nsec += periodNs;
    if (deadline.tv_nsec >= 1'000'000'000L) {
        deadline.tv_nsec -= 1'000'000'000L;
        ++deadline.tv_sec;
    }
}

bool isBefore(const timespec& a, const timespec& b) {
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

int64_t monotonicMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
}

constexpr size_t kRowBytes = VideoFrame::RowBytes(ReaderLoop::kWidth, 24);
}  // namespace

ReaderLoop::ReaderLoop(std::vector<FrameSink*> sinks, int rate)
    : sinks_(std::move(sinks)),
      rate_(rate > 0 ? rate : kRate),
      picture_(VideoFrame::Size24(kWidth, kHeight), 0),
      card_(picture_.size(), 0),
      lastFreshMs_(monotonicMs()) {}

bool ReaderLoop::run(const std::atomic<bool>& quit) {
    const long periodNs = 1'000'000'000L / rate_;
    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    while (!quit.load()) {
        if (!step()) {
            return false;
        }
        advance(deadline, periodNs);
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        if (isBefore(deadline, now)) {
            deadline = now;  // fell behind (suspend, a slow consumer): do not race to catch up
        }
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr);
    }
    return true;
}

bool ReaderLoop::step() {
    bool fresh = copyNewFrame();
    followWriter(fresh);
    stepsWithoutNew_ = fresh ? 0 : stepsWithoutNew_ + 1;
    // Sinks that take only new pictures get a repeat at their own rate while
    // none comes (the last picture, then the paused card).
    int repeatEvery = std::max(1, rate_ / FrameSink::kRepeatRate);
    bool repeatDue = stepsWithoutNew_ % repeatEvery == 0;
    bool allWell = true;
    for (FrameSink* sink : sinks_) {
        if (!fresh && !repeatDue && !sink->takesRepeats()) {
            continue;
        }
        const auto& bytes = converted(sink->format());
        allWell = sink->write(bytes.data(), bytes.size()) && allWell;
    }
    return allWell;
}

// A fresh frame ends the pause; two seconds without one start it.
void ReaderLoop::followWriter(bool fresh) {
    int64_t now = monotonicMs();
    if (fresh) {
        lastFreshMs_ = now;
        paused_ = false;
        current_.fill(false);
    } else if (!paused_ && now - lastFreshMs_ >= kPausedAfterMs) {
        pausedCard_.paint(picture_.data(), kRowBytes, kWidth, kHeight, card_.data());
        paused_ = true;
        current_.fill(false);
    }
}

const std::vector<uint8_t>& ReaderLoop::converted(OutputFormat format) {
    auto index = static_cast<size_t>(format);
    std::vector<uint8_t>& bytes = converted_[index];
    if (!current_[index]) {
        bytes.resize(outputFrameSize(format, kWidth, kHeight));  // sized once per format
        const auto& shown = paused_ ? card_ : picture_;
        convertChannelFrame(shown.data(), kRowBytes, kWidth, kHeight, format, bytes.data());
        current_[index] = true;
    }
    return bytes;
}

bool ReaderLoop::copyNewFrame() {
    reader_.poll();
    int width = 0, height = 0;
    uint32_t imageSize = 0;
    const uint8_t* frame = reader_.acquireFrame(&width, &height, &imageSize);
    // Only our own picture size is taken; the copy is all that happens under
    // the channel's mutex.
    bool fresh = frame != nullptr && width == kWidth && height == kHeight &&
                 imageSize == picture_.size() && reader_.header().sequence != lastSequence_;
    if (fresh) {
        std::memcpy(picture_.data(), frame, imageSize);
        lastSequence_ = reader_.header().sequence;
    }
    reader_.release();
    return fresh;
}
