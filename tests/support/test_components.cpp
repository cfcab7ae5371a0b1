#include "tests/support/test_components.h"

#include <algorithm>
#include <cstring>

ManualSource::ManualSource(int32_t typeId, bool startSucceeds) : startSucceeds_(startSucceeds) {
    typeId_ = typeId;
}

int32_t ManualSource::Start() {
    ++startCalls_;
    running_ = startSucceeds_;
    return startSucceeds_ ? 0 : -1;
}

void ManualSource::Stop() {
    ++stopCalls_;
    running_ = false;
}

MarkEffect::MarkEffect(int32_t order, std::string name, std::vector<std::string>* log,
                       std::mutex* logLock)
    : VideoEffect(order), name_(std::move(name)), log_(log), logLock_(logLock) {}

void MarkEffect::Process(uint8_t* data, size_t size, int32_t width, int32_t height) {
    // Each effect adds one to every green byte: the count of effects that ran
    // shows in the picture itself.
    size_t bytes = std::min(size, static_cast<size_t>(width) * height * 4);
    for (size_t i = 1; i < bytes; i += 4) {
        ++data[i];
    }
    std::lock_guard<std::mutex> guard(*logLock_);
    log_->push_back(name_);
}

void RecordingOutput::OnFrame32(const uint8_t* data, size_t size, int32_t width, int32_t height) {
    record(true, data, size, width, height);
}

void RecordingOutput::OnFrame24(const uint8_t* data, size_t size, int32_t width, int32_t height) {
    record(false, data, size, width, height);
    if (onFrame24Hook) {
        onFrame24Hook();
    }
}

void RecordingOutput::record(bool is32, const uint8_t* data, size_t size, int32_t width,
                             int32_t height) {
    Call call{is32,
              std::vector<uint8_t>(data, data + size),
              width,
              height,
              std::this_thread::get_id(),
              std::chrono::steady_clock::now()};
    std::lock_guard<std::mutex> guard(lock_);
    calls_.push_back(std::move(call));
    if (!is32) {
        ++frames24_;
    }
    changed_.notify_all();
}

bool RecordingOutput::waitForFrames(size_t count, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> guard(lock_);
    return changed_.wait_for(guard, timeout, [&] { return frames24_ >= count; });
}

size_t RecordingOutput::frameCount() const {
    std::lock_guard<std::mutex> guard(lock_);
    return frames24_;
}

std::vector<RecordingOutput::Call> RecordingOutput::calls() const {
    std::lock_guard<std::mutex> guard(lock_);
    return calls_;
}

std::chrono::milliseconds RecordingOutput::longestGap() const {
    std::lock_guard<std::mutex> guard(lock_);
    std::chrono::milliseconds longest{0};
    for (size_t i = 1; i < calls_.size(); ++i) {
        longest = std::max(longest, std::chrono::duration_cast<std::chrono::milliseconds>(
                                        calls_[i].when - calls_[i - 1].when));
    }
    return longest;
}

std::vector<uint8_t> RecordingOutput::last32() const {
    std::lock_guard<std::mutex> guard(lock_);
    for (auto it = calls_.rbegin(); it != calls_.rend(); ++it) {
        if (it->is32) {
            return it->data;
        }
    }
    return {};
}

std::vector<uint8_t> RecordingOutput::nextPicture() {
    clear();
    // A tick already under way may deliver one frame; the second began later.
    return waitForFrames(2) ? last32() : std::vector<uint8_t>{};
}

void RecordingOutput::clear() {
    std::lock_guard<std::mutex> guard(lock_);
    calls_.clear();
    frames24_ = 0;
}
