#pragma once

#include <memory>
#include <string>

#include "libs/recorder/encoded_feed.h"
#include "libs/recorder/flv_file_writer.h"
#include "libs/recorder/live_encoder.h"

// A recording made of what a LiveEncoder already encodes for a live stream:
// its pictures and sound muxed a second time, into an FLV file, so that a
// recording beside a stream costs no second encode, and is written by an
// FlvFileWriter, which costs no muxing pipeline either. The file begins at a
// key frame the encoder makes for it, and reaches the disk as it goes (every
// quarter second), so a process that dies mid-recording leaves a file that
// plays up to its last moments, as a recording of its own does.
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
    bool isOpen() const { return writer_ != nullptr; }

private:
    std::unique_ptr<FlvFileWriter> writer_;  // outlives feed_
    std::unique_ptr<EncodedFeed> feed_;
    std::shared_ptr<LiveEncoder> encoder_;
    uint64_t encoderLeftOutAtStart_ = 0;
};
