#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/support/child_process.h"

// A PipeWire consumer that takes the virtual camera's node in BGRx, as
// GStreamer's pipewiresrc does for any program, and hands everything it got
// to gdppay. Caps, events and pictures thus come in one stream, in order, so
// the test sees whether the stream started anew or ended. A thread of the
// test reads it.
//
// pipewiresrc of PipeWire 0.3.65 takes a renegotiated format (its buffers
// are of the new size) but tells GStreamer only the first one; later ones
// also set new caps. So the format the consumer has agreed to is read from
// PipeWire itself (pipeWireFormat), and a picture's size is taken from its
// bytes when they do not fit the caps.
class GdpConsumer {
public:
    static constexpr const char* kNodeName = "lumora-test-consumer";

    struct Picture {
        std::chrono::steady_clock::time_point when;
        int width;  // from the caps in force
        int height;
        size_t bytes;
        int marker;       // the feeder's marker column (mode_feeder.h), -1 without one
        uint64_t number;  // the buffer's offset: the node's sequence number of the picture
    };
    struct Caps {
        std::chrono::steady_clock::time_point when;
        std::string text;
    };

    // `sizes`: the picture sizes the test expects, to tell a picture's size
    // from its bytes.
    explicit GdpConsumer(std::vector<std::pair<int, int>> sizes);
    ~GdpConsumer();
    GdpConsumer(const GdpConsumer&) = delete;
    GdpConsumer& operator=(const GdpConsumer&) = delete;

    bool started() const { return started_; }
    std::vector<Picture> pictures();
    std::vector<Caps> caps();
    int streamStarts();
    // Whether the stream ended (end of the stream, an error or the process).
    bool ended();
    // The format of the consumer's node as PipeWire has it, as
    // "BGRx 1280x720@30/1"; empty when there is none.
    static std::string pipeWireFormat();

private:
    void readPackets();
    void noteCaps(const std::string& text);
    std::pair<int, int> sizeOf(size_t bytes) const;

    std::vector<std::pair<int, int>> sizes_;
    ChildProcess process_;
    bool started_ = false;
    std::thread reader_;
    std::mutex lock_;  // guards what the reading thread saw against the test's reads
    std::vector<Picture> pictures_;
    std::vector<Caps> caps_;
    int streamStarts_ = 0;
    bool ended_ = false;
    int width_ = 0;  // the reading thread's own: the caps in force
    int height_ = 0;
};

// The value of an (int) field of a caps text, or -1.
int capsInt(const std::string& caps, const std::string& field);
