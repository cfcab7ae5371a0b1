#pragma once

#include <cstddef>
#include <cstdint>

#include "vcam/frame_converter.h"
#include "vcam/picture_mode.h"

// The pixel format and size a sink takes its pictures in.
struct PictureShape {
    OutputFormat format = OutputFormat::Bgrx;
    PictureSize size;
    bool operator==(const PictureShape&) const = default;
};

// One picture as a sink is given it: `size` bytes made in `shape`, and
// `number`, the channel's number of the picture (a picture given again
// carries the number it had), so a consumer tells a repeat and a missed
// picture from a new one.
struct SinkPicture {
    const uint8_t* bytes = nullptr;
    size_t size = 0;
    PictureShape shape;
    uint32_t number = 0;
};

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
    // Both at once: what the reader makes a picture in. A sink whose
    // consumers change its format on a thread of their own reads them as
    // one value here, so a picture is never made in half of a change.
    virtual PictureShape shape() const { return {format(), size()}; }
    // The channel's pictures are now of `mode`. A sink that can takes the
    // new size on (size() follows, at once or once its consumers agreed);
    // one that cannot keeps its size and is given pictures letterboxed into
    // it.
    virtual void follow(const PictureMode& mode) = 0;
    // Writes one whole picture, made in the shape() the reader read before
    // it; false when the consumer is gone for good.
    virtual bool write(const SinkPicture& picture) = 0;
    // Whether the sink wants a steady flow (a device's or a stream's
    // consumers): each new picture and, between them, the last again, so
    // that kSteadyRate pictures come a second, or the channel's rate when
    // that is faster. Else it gets each new picture once and, while none
    // comes, a repeat at kRepeatRate.
    virtual bool takesRepeats() const { return true; }
    static constexpr int kSteadyRate = 30;
    static constexpr int kRepeatRate = 15;
};
