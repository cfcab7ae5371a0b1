#pragma once

#include <gst/gst.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>

#include "libs/recorder/encoded_target.h"

// Where a LiveEncoder's output enters one muxer (a connection to a server, a
// recording's file), its EncodedTarget. The feed begins at the first key frame it is
// given and times everything from there, so each muxer's stream starts
// at zero with a picture that decodes.
//
// It never holds the encoder up: when the target is behind (more than
// `mostVideoBytes` of pictures or `mostSoundBytes` of sound wait in front of
// it), what comes is left out, pictures up to the next key frame so that
// what goes on still decodes.
//
// Threads: take from the encoder's two output threads at once (pictures on
// one, sound on the other); the counters from any thread. lock_ guards the
// time origin, which the picture thread sets and the sound thread reads.
class EncodedFeed {
public:
    // `target` must outlive the feed.
    EncodedFeed(EncodedTarget& target, uint64_t mostVideoBytes, uint64_t mostSoundBytes);
    ~EncodedFeed();
    EncodedFeed(const EncodedFeed&) = delete;
    EncodedFeed& operator=(const EncodedFeed&) = delete;

    // An encoded picture (video) or block of sound, with its caps. `lag`:
    // how long after its stamped time the sample's content comes out of a
    // decoder (an encoder's delay); it is timed that much earlier, and left
    // out when that is before the encoder's zero.
    void take(GstSample* sample, bool video, GstClockTime lag = 0);
    // Ends both streams in the target.
    void end() { target_.end(); }

    bool hasSound() const { return target_.hasSound(); }
    // Pictures passed on, and pictures left out since the first key frame.
    uint64_t picturesTaken() const { return picturesTaken_.load(); }
    uint64_t picturesLeftOut() const { return picturesLeftOut_.load(); }
    // Bytes waiting in the target.
    uint64_t bytesWaiting() const {
        return target_.videoBytesWaiting() + target_.soundBytesWaiting();
    }

private:
    // `time`: the buffer's running time in the encoder.
    void takePicture(GstBuffer* buffer, GstCaps* caps, GstClockTime time);
    void takeSound(GstBuffer* buffer, GstCaps* caps, GstClockTime time);
    // A copy of `buffer` (its memory shared) at `time`.
    static GstBuffer* retimed(GstBuffer* buffer, GstClockTime time);
    // Sound comes out of its encoder sooner than the pictures of the same
    // time come out of theirs: the blocks that came before the first key
    // frame are kept (the newest kBacklog), and those from its time on go
    // first once it is there. Only the sound thread touches them.
    void keepSound(GstBuffer* buffer, GstCaps* caps, GstClockTime time);
    void sendKeptSound(GstClockTime origin);
    void dropOldestKept();
    void pushSound(GstBuffer* buffer, GstCaps* caps, GstClockTime time, GstClockTime origin);

    EncodedTarget& target_;
    uint64_t mostVideoBytes_ = 0;
    uint64_t mostSoundBytes_ = 0;
    // Only the picture thread: left out until a key frame comes.
    bool waitingForKey_ = true;

    struct KeptSound {
        GstBuffer* buffer = nullptr;
        GstCaps* caps = nullptr;
        GstClockTime time = 0;
    };
    static constexpr size_t kBacklog = 32;  // AAC blocks: 0.68 s at 48 kHz
    KeptSound kept_[kBacklog];
    size_t keptFirst_ = 0;
    size_t keptCount_ = 0;

    mutable std::mutex lock_;
    std::optional<GstClockTime> origin_;  // the first key frame's running time

    std::atomic<uint64_t> picturesTaken_{0};
    std::atomic<uint64_t> picturesLeftOut_{0};
};
