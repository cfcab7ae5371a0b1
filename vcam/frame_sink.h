#pragma once

#include <cstddef>
#include <cstdint>

// Where the reader's pictures go: a camera device or a byte stream.
class FrameSink {
public:
    virtual ~FrameSink() = default;
    // Writes one whole picture; false when the consumer is gone for good.
    virtual bool write(const uint8_t* data, size_t size) = 0;
};
