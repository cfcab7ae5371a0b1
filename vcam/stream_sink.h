#pragma once

#include "vcam/frame_sink.h"

// Raw pictures, back to back, on a file descriptor (standard output for
// ffmpeg or GStreamer). A consumer that closes its end ends the stream.
class StreamSink : public FrameSink {
public:
    StreamSink(int fd, OutputFormat format) : fd_(fd), format_(format) {}
    OutputFormat format() const override { return format_; }
    bool write(const uint8_t* data, size_t size) override;

private:
    int fd_;
    OutputFormat format_;
};
