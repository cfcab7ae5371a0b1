#include "channel/virtual_camera_server.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/debug_log.h"
#include "base/stream_copy.h"
#include "base/video_frame.h"
#include "channel/channel_names.h"

namespace {
// Numbers the writers of this process; the first writer is 1.
std::atomic<int> g_writerCount{0};
}  // namespace

VirtualCameraServer::VirtualCameraServer() : header_{} {}

VirtualCameraServer::~VirtualCameraServer() { stop(); }

bool VirtualCameraServer::start(int32_t width, int32_t height) {
    if (block_ != nullptr) {
        return false;
    }
    header_ = VCamHeader{};
    int32_t rows = std::abs(height);
    std::string bufferName = kVCamBufferNamePrefix + std::to_string(++g_writerCount);
    uint32_t imageSize = VideoFrame::Size24(width, rows);

    block_ = makeBlock(imageSize);
    if (block_ == nullptr) {
        debugLog("virtual camera server open virtual map file failed!!");
        debugLog("virtual camera server failed!");
        stop();
        return false;
    }
    if (mutex_.create(kVCamMutexName) != 0) {
        debugLog("virtual camera server create mutex failed!!");
        debugLog("virtual camera server failed!");
        stop();
        return false;
    }
    header_.state = 1;
    header_.width = static_cast<int16_t>(width);
    header_.height = static_cast<int16_t>(rows);
    header_.imageSize = imageSize;
    header_.sequence = 0;
    std::memcpy(header_.bufferName, bufferName.data(),
                std::min(bufferName.size(), sizeof header_.bufferName - 1));
    return true;
}

std::unique_ptr<CSFMServer> VirtualCameraServer::makeBlock(uint32_t imageSize) {
    auto block = std::make_unique<CSFMServer>();
    block->create(kVCamBlockName, imageSize + static_cast<uint32_t>(kVCamHeaderSize));
    return block->view() != nullptr ? std::move(block) : nullptr;
}

bool VirtualCameraServer::resize(int32_t width, int32_t height) {
    int32_t rows = std::abs(height);
    if (block_ == nullptr || width <= 0 || rows <= 0 || width > kVCamMaxWidth ||
        rows > kVCamMaxHeight) {
        return false;
    }
    if (holds(width, rows)) {
        return true;
    }
    uint32_t imageSize = VideoFrame::Size24(width, rows);
    // The new block takes the name before the old one is unmapped; the old
    // one's close() then leaves the name alone, as it no longer leads there.
    auto block = makeBlock(imageSize);
    if (block == nullptr) {
        debugLog("virtual camera server cannot make a block for %dx%d", static_cast<int>(width),
                 static_cast<int>(rows));
        return false;
    }
    block_ = std::move(block);
    header_.width = static_cast<int16_t>(width);
    header_.height = static_cast<int16_t>(rows);
    header_.imageSize = imageSize;
    return true;
}

bool VirtualCameraServer::holds(int32_t width, int32_t height) const {
    return block_ != nullptr && header_.width == width && header_.height == std::abs(height);
}

void VirtualCameraServer::setFrameRate(int framesPerSecond) {
    bool stored = framesPerSecond > 0 && framesPerSecond <= UINT16_MAX &&
                  framesPerSecond != kVCamStandardRate;
    header_.frameRate = stored ? static_cast<uint16_t>(framesPerSecond) : 0;
}

void VirtualCameraServer::writeFrame(const uint8_t* data, size_t length) {
    if (block_ == nullptr || block_->view() == nullptr || data == nullptr ||
        length > header_.imageSize) {
        return;
    }
    if (mutex_.lock(std::chrono::milliseconds(1000)) != 0) {
        return;
    }
    ++header_.sequence;
    std::memcpy(block_->view(), &header_, kVCamHeaderSize);
    // The reader is another process, later: streamed past this thread's
    // cache, the picture leaves it to the next tick's work.
    copyPastCache(block_->view() + kVCamHeaderSize, data, length);
    mutex_.unlock();
}

void VirtualCameraServer::stop() {
    block_.reset();
    mutex_.close(/*removeName=*/true);
}
