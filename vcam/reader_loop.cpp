#include "vcam/reader_loop.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>

#include "base/video_frame.h"

namespace {
constexpr int kFastestPoll = 120;

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

size_t rowBytesOf(PictureSize size) { return VideoFrame::RowBytes(size.width, 24); }
size_t bytesOf(PictureSize size) { return VideoFrame::Size24(size.width, size.height); }

// Whether a header describes a picture this reader takes.
bool isChannelPicture(int width, int height, uint32_t imageSize) {
    return width > 0 && height > 0 && width <= kVCamMaxWidth && height <= kVCamMaxHeight &&
           imageSize == VideoFrame::Size24(width, height);
}
}  // namespace

ReaderLoop::ReaderLoop(std::vector<FrameSink*> sinks, int rate)
    : sinks_(std::move(sinks)),
      rate_(rate > 0 ? rate : kRate),
      mode_{{kWidth, kHeight}, kVCamStandardRate},
      picture_(std::make_unique_for_overwrite<uint8_t[]>(
          VideoFrame::Size24(kVCamMaxWidth, kVCamMaxHeight))),
      card_(bytesOf(mode_.size), 0),
      lastFreshMs_(monotonicMs()) {
    std::memset(picture_.get(), 0, bytesOf(mode_.size));  // black until the first picture
}

int ReaderLoop::pollRate() const { return std::clamp(2 * mode_.rate, rate_, kFastestPoll); }

bool ReaderLoop::run(const std::atomic<bool>& quit) {
    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    while (!quit.load()) {
        if (!step()) {
            return false;
        }
        advance(deadline, 1'000'000'000L / pollRate());
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
    bool allWell = true;
    for (FrameSink* sink : sinks_) {
        if (!started_ || due(*sink, fresh)) {
            PictureShape shape = sink->shape();
            const auto& bytes = converted(shape);
            allWell = sink->write({bytes.data(), bytes.size(), shape, lastSequence_}) && allWell;
        }
    }
    started_ = true;
    return allWell;
}

// A new picture goes to every sink. Without one, a sink is given the last
// picture again once it is half a period late, and then once a period: at
// the channel's rate, or kSteadyRate when faster, for a steady flow; at
// kRepeatRate for the others. Half a period, not one: a picture that comes a
// poll late is no reason for a repeat.
bool ReaderLoop::due(const FrameSink& sink, bool fresh) const {
    if (fresh) {
        return true;
    }
    int rate =
        sink.takesRepeats() ? std::max(FrameSink::kSteadyRate, mode_.rate) : FrameSink::kRepeatRate;
    int every = std::max(1, pollRate() / std::max(1, rate));
    int first = every + every / 2;
    return stepsWithoutNew_ >= first && (stepsWithoutNew_ - first) % every == 0;
}

// A fresh frame ends the pause; two seconds without one start it.
void ReaderLoop::followWriter(bool fresh) {
    int64_t now = monotonicMs();
    if (fresh) {
        lastFreshMs_ = now;
        if (paused_) {
            std::fprintf(stderr, "lumora-vcam: pictures again from picture %u on\n", lastSequence_);
        }
        paused_ = false;
        for (auto& entry : converted_) {
            entry.current = false;
        }
    } else if (!paused_ && now - lastFreshMs_ >= kPausedAfterMs) {
        card_.resize(bytesOf(mode_.size));  // an allocation only when the pictures grew
        pausedCard_.paint(picture_.get(), rowBytesOf(mode_.size), mode_.size.width,
                          mode_.size.height, card_.data());
        paused_ = true;
        std::fprintf(stderr,
                     "lumora-vcam: no new picture since picture %u, showing the paused card\n",
                     lastSequence_);
        for (auto& entry : converted_) {
            entry.current = false;
        }
    }
}

// The channel's pictures are of another size or rate now, and picture_
// holds the first of them; the converted pictures are made anew for its
// size (the card when the next pause begins).
void ReaderLoop::adopt(const PictureMode& mode) {
    if (mode.size != mode_.size) {
        converted_.clear();
    }
    mode_ = mode;
    std::fprintf(
        stderr, "lumora-vcam: the channel's pictures are %dx%d at %d a second from picture %u on\n",
        mode.size.width, mode.size.height, mode.rate, lastSequence_);
    for (FrameSink* sink : sinks_) {
        sink->follow(mode_);
    }
}

const std::vector<uint8_t>& ReaderLoop::converted(const PictureShape& shape) {
    Converted& entry = entryFor(shape);
    if (!entry.current) {
        const uint8_t* source = shown();
        size_t rowBytes = rowBytesOf(mode_.size);
        if (shape.size != mode_.size) {
            entry.scaler.scale(source, entry.scaled.data());
            source = entry.scaled.data();
            rowBytes = rowBytesOf(shape.size);
        }
        convertChannelFrame(source, rowBytes, shape.size.width, shape.size.height, shape.format,
                            entry.bytes.data());
        entry.current = true;
    }
    return entry.bytes;
}

// The entry for a format and size; a new one (buffers made here, once) only
// when a sink took a new format or size, and then those no sink takes any
// more go.
ReaderLoop::Converted& ReaderLoop::entryFor(const PictureShape& shape) {
    for (auto& entry : converted_) {
        if (entry.shape == shape) {
            return entry;
        }
    }
    forgetUnused();
    Converted& entry = converted_.emplace_back();
    entry.shape = shape;
    entry.bytes.resize(outputFrameSize(shape.format, shape.size.width, shape.size.height));
    if (shape.size != mode_.size) {
        entry.scaler.prepare(mode_.size, shape.size, PictureScaler::Fit::Letterbox);
        entry.scaled.resize(bytesOf(shape.size));
    }
    return entry;
}

void ReaderLoop::forgetUnused() {
    std::erase_if(converted_, [this](const Converted& entry) {
        return std::none_of(sinks_.begin(), sinks_.end(), [&entry](const FrameSink* sink) {
            return sink->shape() == entry.shape;
        });
    });
}

// Only the copy happens under the channel's mutex. A picture of another
// size or rate is copied there as well, into the room made for the largest,
// and the buffers and sinks follow it once the mutex is given back.
bool ReaderLoop::copyNewFrame() {
    reader_.poll();
    int width = 0, height = 0;
    uint32_t imageSize = 0;
    const uint8_t* frame = reader_.acquireFrame(&width, &height, &imageSize);
    bool fresh = frame != nullptr && isChannelPicture(width, height, imageSize) &&
                 reader_.header().sequence != lastSequence_;
    PictureMode seen{{width, height}, reader_.frameRate()};
    if (fresh) {
        std::memcpy(picture_.get(), frame, imageSize);
        lastSequence_ = reader_.header().sequence;
    }
    reader_.release();
    if (fresh && seen != mode_) {
        adopt(seen);
    }
    return fresh;
}
