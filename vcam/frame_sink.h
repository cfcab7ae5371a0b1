#pragma once

#include <cstddef>
#include <cstdint>

#include "vcam/frame_converter.h"
#include "vcam/picture_mode.h"

// Where the reader's pictures go: a camera device, a PipeWire node or a byte
// stream.
class FrameSink {
public:
    virtual ~FrameSink() = default;
    // The format write() takes now. A sink may change it between writes (a
    // PipeWire node does once a consumer has chosen).
    virtual OutputFormat format() const = 0;
    // The picture size write() takes now; it may change between writes too.
    virtual PictureSize size() const = 0;
    // The channel's pictures are now of `mode`. A sink that can takes the
    // new size on (size() follows, at once or once its consumers agreed);
    // one that cannot keeps its size and is given pictures letterboxed into
    // it.
    virtual void follow(const PictureMode& mode) = 0;
    // Writes one whole picture of size() in format(); false when the
    // consumer is gone for good.
    virtual bool write(const uint8_t* data, size_t size) = 0;
    // Whether the sink wants a steady flow (a device's or a stream's
    // consumers): each new picture and, between them, the last again, so
    // that kSteadyRate pictures come a second, or the channel's rate when
    // that is faster. Else it gets each new picture once and, while none
    // comes, a repeat at kRepeatRate.
    virtual bool takesRepeats() const { return true; }
    static constexpr int kSteadyRate = 30;
    static constexpr int kRepeatRate = 15;
};
