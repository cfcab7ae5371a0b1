#pragma once

#include <gst/gst.h>

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>

// Stamps pictures and blocks of sound from one monotonic clock, so that they
// stay together in the file or stream they go to. Pictures lie on the frame
// rate's grid (n / rate): the graph's ticks jitter by milliseconds, the
// stream's rate must not. Sound is stamped by its sample count from the
// moment its first block came, so it never drifts.
//
// Threads: start() before any feeding; pictureTime from one picture thread,
// soundTime from one sound thread, both at once. lock_ guards the sound's
// stamping between the sound thread and the picture thread, which reads
// where the sound began.
class MediaClock {
public:
    // The clock's zero is now. withSound: pictures wait for the first block of
    // sound (see pictureTime).
    void start(int frameRate, int sampleRate, int bytesPerSampleFrame, bool withSound);

    // Nanoseconds from the clock's zero to `when` (0 for earlier times).
    GstClockTime since(std::chrono::steady_clock::time_point when) const;
    GstClockTime now() const { return since(std::chrono::steady_clock::now()); }

    // The time of a picture that arrived at `arrived`; empty when it is to be
    // left out because the first sound has not come yet (at most kSoundWait).
    std::optional<GstClockTime> pictureTime(GstClockTime arrived);
    GstClockTime pictureDuration() const;

    // The time of a block of `bytes` of sound arriving now, and its length.
    GstClockTime soundTime(int bytes, GstClockTime* duration);

    // How long the first picture waits for the first block of sound.
    static constexpr GstClockTime kSoundWait = GST_SECOND / 2;

private:
    // When the first block of sound was heard; nothing before it came.
    std::optional<GstClockTime> soundOrigin();

    std::chrono::steady_clock::time_point start_;
    int frameRate_ = 15;
    int sampleRate_ = 44100;
    int bytesPerSampleFrame_ = 4;
    bool withSound_ = false;
    // The grid slot of the last picture stamped; only the picture thread.
    int64_t lastPictureSlot_ = -1;
    std::mutex lock_;
    bool soundStarted_ = false;
    GstClockTime soundOrigin_ = 0;
    uint64_t soundFrames_ = 0;
};
