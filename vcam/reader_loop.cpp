#include "vcam/reader_loop.h"

#include <cstring>
#include <ctime>

#include "engine/video_frame.h"

namespace {
constexpr long kPeriodNs = 1'000'000'000L / ReaderLoop::kRate;

void advance(timespec& deadline) {
    deadline.tv_nsec += kPeriodNs;
    if (deadline.tv_nsec >= 1'000'000'000L) {
        deadline.tv_nsec -= 1'000'000'000L;
        ++deadline.tv_sec;
    }
}

bool isBefore(const timespec& a, const timespec& b) {
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}
}  // namespace

ReaderLoop::ReaderLoop(FrameSink& sink, OutputFormat format)
    : sink_(sink),
      format_(format),
      picture_(VideoFrame::Size24(kWidth, kHeight), 0),
      converted_(outputFrameSize(format, kWidth, kHeight)) {
    convertChannelFrame(picture_.data(), VideoFrame::RowBytes(kWidth, 24), kWidth, kHeight, format_,
                        converted_.data());
}

bool ReaderLoop::run(const std::atomic<bool>& quit) {
    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    while (!quit.load()) {
        if (!step()) {
            return false;
        }
        advance(deadline);
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
    if (copyNewFrame()) {
        convertChannelFrame(picture_.data(), VideoFrame::RowBytes(kWidth, 24), kWidth, kHeight,
                            format_, converted_.data());
    }
    return sink_.write(converted_.data(), converted_.size());
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
