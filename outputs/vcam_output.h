#pragma once

#include "channel/virtual_camera_server.h"
#include "engine/video_output.h"

// Publishes every composed picture to the virtual camera channel. One per
// process, made by the process-wide graph's construction and alive until
// process exit, so the camera exists for the program's whole life. When the
// channel cannot start the output stays registered and inert.
//
// Threads: OnFrame24 runs on the graph's worker; the channel's mutex is the
// only lock.
class VCamOutput : public VideoOutput {
public:
    static VCamOutput* instance();

    // Writes a 640 x 480 24-bit frame; frames of any other length are refused.
    void OnFrame24(const uint8_t* data, size_t size, int32_t width, int32_t height) override;
    // The 32-bit frame is not used.
    void OnFrame32(const uint8_t*, size_t, int32_t, int32_t) override {}

    bool isPublishing() const { return server_.isStarted(); }

private:
    VCamOutput();
    ~VCamOutput() override;

    VirtualCameraServer server_;
};
