#include "outputs/vcam_output.h"

#include <cstdlib>

#include "base/debug_log.h"

namespace {
uint32_t packedSize(int32_t width, int32_t height) {
    return static_cast<uint32_t>(width & 0xFFFF) << 16 | static_cast<uint32_t>(height & 0xFFFF);
}

// A mode as one value: the packed size above the rate.
uint64_t packedMode(const OutputMode& mode) {
    return static_cast<uint64_t>(packedSize(mode.width, mode.height)) << 32 |
           static_cast<uint32_t>(mode.frameRate);
}
OutputMode unpackedMode(uint64_t packed) {
    return {static_cast<int32_t>(packed >> 48 & 0xFFFF),
            static_cast<int32_t>(packed >> 32 & 0xFFFF),
            static_cast<int32_t>(packed & 0xFFFFFFFFu)};
}
}  // namespace

VCamOutput* VCamOutput::instance() {
    static VCamOutput output;
    return &output;
}

VCamOutput::VCamOutput()
    : mode_(packedMode(kStandardMode)),
      resizer_([this](int32_t width, int32_t height) { recreateBlock(width, height); }) {
    // A failure was logged by the server; every frame is then skipped.
    publishing_.store(server_.start(VideoFrame::kWidth, VideoFrame::kHeight));
    requestedSize_ = packedSize(VideoFrame::kWidth, VideoFrame::kHeight);
}

VCamOutput::~VCamOutput() {
    std::lock_guard<std::mutex> guard(serverLock_);
    server_.stop();
}

void VCamOutput::OnFrame24(const uint8_t* data, size_t size, int32_t width, int32_t height) {
    std::unique_lock<std::mutex> server(serverLock_, std::try_to_lock);
    if (!server.owns_lock() || !server_.isStarted()) {
        return;  // the block is being re-created, or there is no channel
    }
    if (!server_.holds(width, height)) {
        // Asked once per size: a size the worker could not make is not asked
        // for again on every frame.
        uint32_t wanted = packedSize(width, std::abs(height));
        if (wanted != requestedSize_) {
            requestedSize_ = wanted;
            resizer_.request(width, std::abs(height));
        }
        return;
    }
    if (size != server_.header().imageSize) {
        return;
    }
    OutputMode mode = unpackedMode(mode_.load());
    if (mode.width == width && mode.height == std::abs(height)) {
        server_.setFrameRate(mode.frameRate);
    }
    server_.writeFrame(data, size);
}

void VCamOutput::SetMode(const OutputMode& mode) { mode_.store(packedMode(mode)); }

void VCamOutput::recreateBlock(int32_t width, int32_t height) {
    std::lock_guard<std::mutex> guard(serverLock_);
    if (server_.isStarted() && !server_.resize(width, height)) {
        debugLog("virtual camera: no channel for %dx%d pictures; they are not published",
                 static_cast<int>(width), static_cast<int>(height));
    }
}
