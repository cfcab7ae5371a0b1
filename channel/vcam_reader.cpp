#include "channel/vcam_reader.h"

#include <cerrno>
#include <cstring>

#include "base/debug_log.h"
#include "channel/channel_names.h"

namespace {
constexpr int kUnchangedReadsBeforeClosing = 50;
constexpr int kAttemptEvery = 5;
// After this many unchanged reads the reader looks whether a new writer has
// put a new block in place, so a restarted program is seen within a few
// polls rather than after the long run above.
constexpr int kUnchangedReadsBeforeLooking = 3;
}  // namespace

VCamReader::VCamReader() : header_{} {}

VCamReader::~VCamReader() { closeAll(); }

void VCamReader::poll() {
    if (mutex_.isOpen() && client_ != nullptr && client_->renewed()) {
        // Both are opened again: a new writer brings a new mutex as well.
        closeAll();
        openChannel();
    }
    if (!mutex_.isOpen()) {
        if (attempts_++ % kAttemptEvery != 0) {
            return;
        }
        if (!openChannel()) {
            return;
        }
    }
    int result = mutex_.lock(std::chrono::milliseconds(1000));
    locked_ = result == 0;
    if (!locked_) {
        debugLog("vcam boxpin, wait mutex failed !!%d", result);
    }
}

bool VCamReader::openChannel() {
    int result = mutex_.open(kVCamMutexName);
    if (result != 0) {
        if (result != ENOENT) {  // ENOENT: no writer running, nothing to say
            debugLog("vcam box pin , client  open mutex failed! %d", result);
        }
        return false;
    }
    client_ = std::make_unique<CSFMClient>();
    client_->open(kVCamBlockName);
    if (client_->view() == nullptr) {
        debugLog("vcam box pin, client buffer open failed %d", client_->lastError());
        // Only around a writer's stop is there a mutex without a block; start
        // over rather than keep a mutex that guards nothing.
        closeAll();
        return false;
    }
    return true;
}

const uint8_t* VCamReader::acquireFrame(int* width, int* height, uint32_t* imageSize) {
    if (client_ == nullptr || client_->view() == nullptr || client_->size() < kVCamHeaderSize) {
        return nullptr;
    }
    std::memcpy(&header_, client_->view(), kVCamHeaderSize);
    if (header_.sequence == lastSequence_) {
        ++unchangedCount_;
    } else {
        lastSequence_ = header_.sequence;
        unchangedCount_ = 0;
    }
    if (header_.imageSize > client_->size() - kVCamHeaderSize) {
        return nullptr;  // a header that overstates the block is never trusted
    }
    if (header_.width <= 0 || header_.height <= 0) {
        return nullptr;  // a new block that holds no picture yet
    }
    *width = header_.width;
    *height = header_.height;
    *imageSize = header_.imageSize;
    return client_->view() + kVCamHeaderSize;
}

void VCamReader::release() {
    if (locked_) {
        mutex_.unlock();
        locked_ = false;
    }
    if (unchangedCount_ >= kUnchangedReadsBeforeClosing ||
        (unchangedCount_ >= kUnchangedReadsBeforeLooking && client_ && client_->replaced())) {
        closeAll();
    }
}

void VCamReader::closeAll() {
    if (locked_) {
        mutex_.unlock();
        locked_ = false;
    }
    mutex_.close();
    client_.reset();
    unchangedCount_ = 0;
    lastSequence_ = 0;
}
