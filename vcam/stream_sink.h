#pragma once

#include "vcam/frame_sink.h"

// Raw pictures, back to back, on a file descriptor (standard output for
// ffmpeg or GStreamer). A consumer that closes its end ends the stream.
// A byte stream cannot tell its reader of a new size, so the stream keeps
// the size it started with: the channel's when its first picture came before
// the first write, else 640 x 480. Later pictures of another size are scaled
// to it, and the stream says so once on `noteFd` (standard error).
class StreamSink : public FrameSink {
public:
    StreamSink(int fd, OutputFormat format, PictureSize size, int noteFd)
        : fd_(fd), format_(format), size_(size), noteFd_(noteFd) {}
    OutputFormat format() const override { return format_; }
    PictureSize size() const override { return size_; }
    void follow(const PictureMode& mode) override;
    bool write(const SinkPicture& picture) override;

private:
    int fd_;
    OutputFormat format_;
    PictureSize size_;
    int noteFd_;
    bool written_ = false;
    bool noted_ = false;
};
