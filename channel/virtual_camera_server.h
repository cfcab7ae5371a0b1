#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "channel/named_mutex.h"
#include "channel/sfm_server.h"
#include "channel/vcam_header.h"

// The writer of the virtual camera channel: owns the block and the mutex and
// copies one frame at a time into the block under the mutex.
//
// Threads: start, writeFrame and stop are never called concurrently (start on
// the thread that builds the graph, writeFrame on the graph's worker, stop at
// exit); the object has no lock of its own.
class VirtualCameraServer {
public:
    VirtualCameraServer();
    ~VirtualCameraServer();
    VirtualCameraServer(const VirtualCameraServer&) = delete;
    VirtualCameraServer& operator=(const VirtualCameraServer&) = delete;

    // Creates the block for a 24-bit picture of width x |height| and the mutex
    // and fills the header; nothing is written into the block yet. False when
    // already started, or when a step failed (then nothing is held).
    bool start(int32_t width, int32_t height);
    // Copies the header with the next sequence number and `length` frame
    // bytes into the block, waiting at most 1000 ms for the mutex (a frame
    // that cannot get it in time is skipped). Skipped when not started or when
    // length exceeds the frame area.
    void writeFrame(const uint8_t* data, size_t length);
    // Removes the block and the mutex.
    void stop();

    bool isStarted() const { return block_ != nullptr; }
    const VCamHeader& header() const { return header_; }

private:
    std::unique_ptr<CSFMServer> block_;
    NamedMutex mutex_;
    VCamHeader header_;
};
