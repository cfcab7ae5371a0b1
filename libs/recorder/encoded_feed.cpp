#include "libs/recorder/encoded_feed.h"

EncodedFeed::EncodedFeed(EncodedTarget& target, uint64_t mostVideoBytes, uint64_t mostSoundBytes)
    : target_(target), mostVideoBytes_(mostVideoBytes), mostSoundBytes_(mostSoundBytes) {}

EncodedFeed::~EncodedFeed() {
    while (keptCount_ > 0) {
        dropOldestKept();
    }
}

void EncodedFeed::take(GstSample* sample, bool video, GstClockTime lag) {
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    GstCaps* caps = gst_sample_get_caps(sample);
    const GstSegment* segment = gst_sample_get_segment(sample);
    if (buffer == nullptr || caps == nullptr || segment == nullptr) {
        return;
    }
    // The encoders' own times are shifted (x264 starts its segment 1000
    // hours on, to keep decoding times positive); their running times are
    // the encoder's clock for both.
    GstClockTime time =
        gst_segment_to_running_time(segment, GST_FORMAT_TIME, GST_BUFFER_PTS(buffer));
    if (!GST_CLOCK_TIME_IS_VALID(time) || time < lag) {
        return;
    }
    time -= lag;
    if (video) {
        takePicture(buffer, caps, time);
    } else {
        takeSound(buffer, caps, time);
    }
}

void EncodedFeed::takePicture(GstBuffer* buffer, GstCaps* caps, GstClockTime time) {
    const bool key = !GST_BUFFER_FLAG_IS_SET(buffer, GST_BUFFER_FLAG_DELTA_UNIT);
    const bool begun = !waitingForKey_ || origin_.has_value();
    const bool behind = target_.videoBytesWaiting() > mostVideoBytes_;
    if (behind || (waitingForKey_ && !key)) {
        // A picture left out breaks the ones after it until the next key
        // frame: they are left out too.
        waitingForKey_ = true;
        if (begun) {
            ++picturesLeftOut_;
        }
        return;
    }
    waitingForKey_ = false;
    GstClockTime origin = 0;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (!origin_) {
            origin_ = time;
        }
        origin = *origin_;
    }
    if (time < origin) {
        return;
    }
    target_.push(true, retimed(buffer, time - origin), caps);
    ++picturesTaken_;
}

void EncodedFeed::takeSound(GstBuffer* buffer, GstCaps* caps, GstClockTime time) {
    if (!target_.hasSound()) {
        return;
    }
    std::optional<GstClockTime> origin;
    {
        std::lock_guard<std::mutex> guard(lock_);
        origin = origin_;
    }
    if (!origin) {
        keepSound(buffer, caps, time);
        return;
    }
    sendKeptSound(*origin);
    pushSound(buffer, caps, time, *origin);
}

// Sound before the first picture would start the stream without one; sound
// the target cannot take is left out (each block decodes alone).
void EncodedFeed::pushSound(GstBuffer* buffer, GstCaps* caps, GstClockTime time,
                            GstClockTime origin) {
    if (time < origin || target_.soundBytesWaiting() > mostSoundBytes_) {
        return;
    }
    target_.push(false, retimed(buffer, time - origin), caps);
}

void EncodedFeed::keepSound(GstBuffer* buffer, GstCaps* caps, GstClockTime time) {
    if (keptCount_ == kBacklog) {
        dropOldestKept();
    }
    KeptSound& slot = kept_[(keptFirst_ + keptCount_) % kBacklog];
    slot.buffer = gst_buffer_ref(buffer);
    slot.caps = gst_caps_ref(caps);
    slot.time = time;
    ++keptCount_;
}

void EncodedFeed::sendKeptSound(GstClockTime origin) {
    while (keptCount_ > 0) {
        const KeptSound& next = kept_[keptFirst_];
        pushSound(next.buffer, next.caps, next.time, origin);
        dropOldestKept();
    }
}

void EncodedFeed::dropOldestKept() {
    KeptSound& oldest = kept_[keptFirst_];
    gst_buffer_unref(oldest.buffer);
    gst_caps_unref(oldest.caps);
    oldest = KeptSound{};
    keptFirst_ = (keptFirst_ + 1) % kBacklog;
    --keptCount_;
}

GstBuffer* EncodedFeed::retimed(GstBuffer* buffer, GstClockTime time) {
    // The encoder's buffer goes to every feed, each with its own times: a
    // copy of its metadata, its memory shared. Nothing is reordered (no
    // B-frames), so decoding time is presentation time.
    GstBuffer* copy = gst_buffer_copy(buffer);
    GST_BUFFER_PTS(copy) = time;
    GST_BUFFER_DTS(copy) = time;
    return copy;
}
