#include "libs/recorder/media_clock.h"

#include <algorithm>

void MediaClock::start(int frameRate, int sampleRate, int bytesPerSampleFrame, bool withSound) {
    std::lock_guard<std::mutex> guard(lock_);
    start_ = std::chrono::steady_clock::now();
    frameRate_ = frameRate;
    sampleRate_ = sampleRate;
    bytesPerSampleFrame_ = bytesPerSampleFrame;
    withSound_ = withSound;
    lastPictureSlot_ = -1;
    soundStarted_ = false;
    soundOrigin_ = 0;
    soundFrames_ = 0;
}

GstClockTime MediaClock::since(std::chrono::steady_clock::time_point when) const {
    if (when <= start_) {
        return 0;
    }
    return static_cast<GstClockTime>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(when - start_).count());
}

std::optional<GstClockTime> MediaClock::pictureTime(GstClockTime arrived) {
    if (withSound_ && lastPictureSlot_ < 0) {
        // The stream begins with the sound: pictures wait for the first
        // block, and the first picture takes the slot of the block's first
        // sample, so both streams start together. A microphone that stays
        // silent longer does not hold the pictures back.
        std::optional<GstClockTime> origin = soundOrigin();
        if (!origin && arrived < kSoundWait) {
            return std::nullopt;
        }
        arrived = origin ? std::min(arrived, *origin) : arrived;
    }
    auto rate = static_cast<guint64>(frameRate_);
    // The nearest slot, and never one already used: a late tick takes the
    // next slot, a skipped tick leaves one empty.
    auto slot = static_cast<int64_t>(gst_util_uint64_scale_round(arrived, rate, GST_SECOND));
    slot = std::max(slot, lastPictureSlot_ + 1);
    lastPictureSlot_ = slot;
    return gst_util_uint64_scale(static_cast<guint64>(slot), GST_SECOND, rate);
}

GstClockTime MediaClock::pictureDuration() const {
    return GST_SECOND / static_cast<GstClockTime>(frameRate_);
}

// The microphone takes tens of milliseconds to deliver its first block (more
// on a busy machine); pictures from before it would start the stream with a
// stretch of silence and its two parts that far apart.
std::optional<GstClockTime> MediaClock::soundOrigin() {
    std::lock_guard<std::mutex> guard(lock_);
    return soundStarted_ ? std::optional<GstClockTime>(soundOrigin_) : std::nullopt;
}

GstClockTime MediaClock::soundTime(int bytes, GstClockTime* duration) {
    const auto frames = static_cast<guint64>(bytes / bytesPerSampleFrame_);
    const auto rate = static_cast<guint64>(sampleRate_);
    *duration = gst_util_uint64_scale(frames, GST_SECOND, rate);
    std::lock_guard<std::mutex> guard(lock_);
    if (!soundStarted_) {
        // The block's first sample was heard one block's length ago.
        GstClockTime arrived = now();
        soundOrigin_ = arrived > *duration ? arrived - *duration : 0;
        soundStarted_ = true;
    }
    GstClockTime pts = soundOrigin_ + gst_util_uint64_scale(soundFrames_, GST_SECOND, rate);
    soundFrames_ += frames;
    return pts;
}
