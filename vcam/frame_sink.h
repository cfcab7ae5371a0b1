#pragma once

#include <cstddef>
#include <cstdint>

#include "vcam/frame_converter.h"

// Where the reader's pictures go: a camera device, a PipeWire node or a byte
// stream.
class FrameSink {
public:
    virtual ~FrameSink() = default;
    // The format write() takes now. A sink may change it between writes (a
    // PipeWire node does once a consumer has chosen).
    virtual OutputFormat format() const = 0;
    // Writes one whole picture in format(); false when the consumer is gone
    // for good.
    virtual bool write(const uint8_t* data, size_t size) = 0;
    // Whether the sink takes the picture at every round of the reader, new
    // or not (a device's consumers want a steady flow); else it gets each new
    // picture once and, while none comes, a repeat at kRepeatRate.
    virtual bool takesRepeats() const { return true; }
    static constexpr int kRepeatRate = 15;
};
