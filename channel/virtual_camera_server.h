#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "channel/named_mutex.h"
#include "channel/sfm_server.h"
#include "channel/vcam_header.h"

// The writer of the virtual camera channel: owns the block and the mutex and
// copies one frame at a time into the block under the mutex. A picture of
// another size gets a new block in place of the old one (see resize).
//
// Threads: no two calls run concurrently (start on the thread that builds the
// graph, writeFrame on the graph's worker, resize on whichever thread its
// owner chooses, stop at exit); the object has no lock of its own.
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
    // Puts a new block for a width x |height| picture in place of the current
    // one; readers find it by its name and reopen. The mutex stays and the
    // sequence numbers go on, so a reader never takes the first picture of
    // the new block for one it has seen. The new block holds no picture until
    // the next writeFrame. False, with the old block kept, when not started,
    // when the size is beyond kVCamMaxWidth x kVCamMaxHeight or when the new
    // block cannot be made.
    bool resize(int32_t width, int32_t height);
    // Whether a picture of width x |height| fits the current block.
    bool holds(int32_t width, int32_t height) const;
    // The rate the header announces from the next frame on; the standard
    // rate is stored as 0 (see VCamHeader::frameRate).
    void setFrameRate(int framesPerSecond);
    // Removes the block and the mutex.
    void stop();

    bool isStarted() const { return block_ != nullptr; }
    const VCamHeader& header() const { return header_; }

private:
    // A mapped block for a picture of `imageSize` bytes; null when it could
    // not be made.
    static std::unique_ptr<CSFMServer> makeBlock(uint32_t imageSize);

    std::unique_ptr<CSFMServer> block_;
    NamedMutex mutex_;
    VCamHeader header_;
};
