#pragma once

#include <gst/gst.h>

#include <cstdint>

// Where an EncodedFeed puts the pictures and sound it passes on, timed from
// the feed's own start: a muxing pipeline's appsrcs (AppSrcTarget) or a file
// written directly (FlvFileWriter). A target never blocks: it holds what it
// is given until it has muxed it, and tells how much that is, so that the
// feed can leave out what it cannot take.
class EncodedTarget {
public:
    virtual ~EncodedTarget() = default;

    virtual bool hasSound() const = 0;
    // Takes `buffer` (the caller's reference) of the kind `video` says;
    // `caps` describe it and stay the caller's. Called from one picture
    // thread and one sound thread at once.
    virtual void push(bool video, GstBuffer* buffer, GstCaps* caps) = 0;
    // Nothing more comes: what was given is finished off.
    virtual void end() = 0;
    // Bytes given and not muxed yet, of pictures and of sound.
    virtual uint64_t videoBytesWaiting() const = 0;
    virtual uint64_t soundBytesWaiting() const = 0;
};
