#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "base/output_mode.h"
#include "channel/virtual_camera_server.h"
#include "engine/video_output.h"
#include "outputs/resize_worker.h"

// Publishes every composed picture to the virtual camera channel. One per
// process, made by the process-wide graph's construction and alive until
// process exit, so the camera exists for the program's whole life. When the
// channel cannot start the output stays registered and inert.
//
// The channel starts at 640 x 480 and follows the size of the frames: the
// first frame of another size is skipped and a worker of the output puts a
// block of that size in place, while the frames go on being skipped until it
// is there. The rate the header announces is that of the mode last told,
// and it changes only with a frame of that mode's size: told a mode before
// its frames come, the reader sees one change of size and rate together.
//
// Threads: OnFrame24 runs on the graph's worker and never waits for anything
// but the channel's named mutex (at most a second, as always); SetMode
// comes from any thread, the UI's on a mode change.
class VCamOutput : public VideoOutput {
public:
    static VCamOutput* instance();

    // Writes a whole 24-bit frame of width x height; other lengths are
    // refused, other sizes start a change of the block's size.
    void OnFrame24(const uint8_t* data, size_t size, int32_t width, int32_t height) override;
    // The 32-bit frame is not used.
    void OnFrame32(const uint8_t*, size_t, int32_t, int32_t) override {}

    // The mode the frames are about to take (or have): its rate is
    // announced from the first frame of its size on, and frames of another
    // size keep the rate announced until then. Told before the frames
    // change, a mode change reaches the reader as one change.
    void SetMode(const OutputMode& mode);

    bool isPublishing() const { return publishing_.load(); }

private:
    VCamOutput();
    ~VCamOutput() override;

    void recreateBlock(int32_t width, int32_t height);

    VirtualCameraServer server_;
    // server_ between the graph's worker, which only ever try-locks it and
    // skips a frame when it is taken, and the worker that re-creates the
    // block.
    std::mutex serverLock_;
    uint32_t requestedSize_ = 0;  // width << 16 | height last asked of resizer_; under serverLock_
    std::atomic<bool> publishing_{false};
    // The mode last told: width, height and rate in one value, so the graph's
    // worker never pairs a rate with the size of another mode.
    std::atomic<uint64_t> mode_;
    ResizeWorker resizer_;  // last: it ends before what it works on
};
