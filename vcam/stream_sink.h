#pragma once

#include "vcam/frame_sink.h"

// Raw pictures, back to back, on a file descriptor (standard output for
// ffmpeg or GStreamer). A consumer that closes its end ends the stream.
class StreamSink : public FrameSink {
public:
    explicit StreamSink(int fd) : fd_(fd) {}
    bool write(const uint8_t* data, size_t size) override;

private:
    int fd_;
};
