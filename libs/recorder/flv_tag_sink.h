#pragma once

#include <gst/gst.h>

#include <cstdint>

// Where an FlvTagTarget hands its tags, in the order they are to go out:
// one whole FLV tag a buffer, the first the file header, then onMetaData.
// A sink never blocks the caller.
class FlvTagSink {
public:
    virtual ~FlvTagSink() = default;

    // Takes the caller's reference to `tag`.
    virtual void take(GstBuffer* tag) = 0;
    // Nothing more comes: what was taken goes out, then the stream ends.
    virtual void end() = 0;
    // Bytes of tags taken and not yet sent on: of sound, or of the rest.
    virtual uint64_t bytesWaiting(bool sound) const = 0;
};
