#pragma once

#include <gst/gst.h>

#include <memory>
#include <string>

#include "libs/recorder/encoded_feed.h"
#include "libs/recorder/live_encoder.h"

// A recording made of what a LiveEncoder already encodes for a live stream:
// its pictures and sound muxed a second time, into an FLV file, so that a
// recording beside a stream costs no second encode. The file begins at a key
// frame the encoder makes for it, and is written as a stream (unbuffered), so
// a process that dies mid-recording leaves a file that plays up to its last
// seconds, as a recording of its own does.
//
// Threads: start and stop from one control thread; the encoder feeds it on
// its own threads between them.
class EncodedRecording {
public:
    EncodedRecording() = default;
    ~EncodedRecording();
    EncodedRecording(const EncodedRecording&) = delete;
    EncodedRecording& operator=(const EncodedRecording&) = delete;

    // Creates the file (UTF-8 path) for the encoder's pictures and, with
    // `sound`, its sound; false when it cannot be written.
    bool open(const std::string& path, bool sound);
    // Takes the encoder's output from its next key frame on.
    void start(std::shared_ptr<LiveEncoder> encoder);
    // Leaves the encoder, lets what the file was given reach it (at most a
    // few seconds) and closes it.
    void stop();
    bool isOpen() const { return pipeline_ != nullptr; }

private:
    void close();

    GstElement* pipeline_ = nullptr;
    std::unique_ptr<EncodedFeed> feed_;
    std::shared_ptr<LiveEncoder> encoder_;
    uint64_t encoderLeftOutAtStart_ = 0;
};
