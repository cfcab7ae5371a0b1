#include "outputs/vcam_output.h"

VCamOutput* VCamOutput::instance() {
    static VCamOutput output;
    return &output;
}

VCamOutput::VCamOutput() {
    // A failure was logged by the server; every frame is then skipped.
    server_.start(VideoFrame::kWidth, VideoFrame::kHeight);
}

VCamOutput::~VCamOutput() { server_.stop(); }

void VCamOutput::OnFrame24(const uint8_t* data, size_t size, int32_t, int32_t) {
    if (size == VideoFrame::kSize24) {
        server_.writeFrame(data, size);
    }
}
