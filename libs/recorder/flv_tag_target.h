#pragma once

#include <gst/gst.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>

#include "libs/recorder/encoded_target.h"
#include "libs/recorder/flv_tag_sink.h"
#include "libs/recorder/tag_ring.h"

// A connection's way in when it sends FLV tags (RTMP): each picture and
// block of sound becomes one FLV tag in a buffer of its own, handed to a
// FlvTagSink, with no muxer and its threads in between. First come the FLV
// header and onMetaData; a kind's sequence header (avcC, AudioSpecificConfig) comes
// before its first tag and again whenever its caps change.
//
// Pictures and sound arrive on two threads, each in time order. A tag is
// held until the other kind has reached its time (the end of the other's
// latest picture or block), so that the two go out interleaved by time, as
// a muxer sends them; a kind that stops coming holds the other back at most
// kMostHeldTime.
//
// Threads: push from one picture thread and one sound thread at once; end
// after both stopped; the counters from any thread. lock_ guards the held
// tags, so that what the two threads release reaches the sink in order.
class FlvTagTarget final : public EncodedTarget {
public:
    struct Stream {
        int width = 0;
        int height = 0;
        int frameRate = 0;
        bool sound = false;
    };
    static constexpr GstClockTime kMostHeldTime = 500 * GST_MSECOND;

    // Hands its tags to `sink`, which must outlive it; the header and
    // onMetaData for `stream` go at once.
    FlvTagTarget(FlvTagSink& sink, const Stream& stream);
    ~FlvTagTarget() override;
    FlvTagTarget(const FlvTagTarget&) = delete;
    FlvTagTarget& operator=(const FlvTagTarget&) = delete;

    bool hasSound() const override { return sound_; }
    // Pictures need caps with the avcC record as codec_data (stream-format
    // avc, alignment au), sound caps with the AudioSpecificConfig (AAC raw);
    // a picture or block whose caps lack it is left out.
    void push(bool video, GstBuffer* buffer, GstCaps* caps) override;
    // What is held goes out, then the end of stream.
    void end() override;
    // Bytes of tags held here or waiting in the sink, by kind.
    uint64_t videoBytesWaiting() const override {
        return heldBytes(kPictures) + sink_.bytesWaiting(false);
    }
    uint64_t soundBytesWaiting() const override {
        return heldBytes(kSound) + sink_.bytesWaiting(true);
    }

private:
    enum Kind { kPictures = 0, kSound = 1 };
    static constexpr size_t kMostHeld = 64;

    // Tags of one kind waiting for the other to reach their time.
    struct Held : TagRing<kMostHeld> {
        // Where this kind has come to: its next tag is at this time or
        // later (the latest one's end).
        std::optional<GstClockTime> reached;

        bool full() const;
    };

    // The tags for one picture or block, sequence header first when its caps
    // are new; false when the caps lack the codec's record.
    bool makeTags(Kind kind, GstBuffer* buffer, GstCaps* caps, GstBuffer** header, GstBuffer** tag);
    // With lock_ held: hands on, in time order, every tag whose time the
    // other kind has reached (all of them when `all`).
    void release(bool all);
    // Whether the front of `held` may go while `other` has nothing held.
    bool mayGoAlone(const Held& held, const Held& other, bool all) const;
    uint64_t heldBytes(Kind kind) const { return heldBytes_[kind].load(); }

    FlvTagSink& sink_;
    bool sound_ = false;
    // Each touched by its own kind's pushing thread only.
    GstCaps* announced_[2] = {nullptr, nullptr};

    std::mutex lock_;
    Held held_[2];

    std::atomic<uint64_t> heldBytes_[2] = {0, 0};
};
