#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/video_effect.h"
#include "engine/video_output.h"
#include "engine/video_source.h"
#include "tests/support/eventually.h"

// A source whose running state the test controls; frames are pushed by the
// test as a library would push them.
class ManualSource : public VideoSource {
public:
    explicit ManualSource(int32_t typeId = SOURCE_TYPE_PICTURE, bool startSucceeds = true);
    int32_t Start() override;
    void Stop() override;
    bool IsRunning() override { return running_; }

    int startCalls() const { return startCalls_; }
    int stopCalls() const { return stopCalls_; }

private:
    bool startSucceeds_;
    std::atomic<bool> running_{false};
    std::atomic<int> startCalls_{0};
    std::atomic<int> stopCalls_{0};
};

// Paints a fixed value into the first byte of every pixel row it is given and
// logs its name, so tests see which effects ran and in which order.
class MarkEffect : public VideoEffect {
public:
    MarkEffect(int32_t order, std::string name, std::vector<std::string>* log, std::mutex* logLock);
    void Process(uint8_t* data, size_t size, int32_t width, int32_t height) override;

private:
    std::string name_;
    std::vector<std::string>* log_;
    std::mutex* logLock_;
};

// Keeps every frame it receives (both layouts), with the thread that sent it.
class RecordingOutput : public VideoOutput {
public:
    struct Call {
        bool is32;
        std::vector<uint8_t> data;
        int32_t width;
        int32_t height;
        std::thread::id thread;
        std::chrono::steady_clock::time_point when;
    };

    void OnFrame32(const uint8_t* data, size_t size, int32_t width, int32_t height) override;
    void OnFrame24(const uint8_t* data, size_t size, int32_t width, int32_t height) override;

    // Waits until at least `count` OnFrame24 calls arrived; false on time-out.
    bool waitForFrames(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(5));
    size_t frameCount() const;
    std::vector<Call> calls() const;
    // The longest time between two calls so far: how long the graph stood
    // still at most.
    std::chrono::milliseconds longestGap() const;
    // The last OnFrame32 data; empty when none came.
    std::vector<uint8_t> last32() const;
    // Forgets what came so far and returns the 32-bit picture of a tick that
    // began after the call: the second frame from now (empty on time-out).
    std::vector<uint8_t> nextPicture();
    // Forgets the calls so far.
    void clear();
    // Called inside OnFrame24, after the frame was recorded (test hook).
    std::function<void()> onFrame24Hook;

private:
    void record(bool is32, const uint8_t* data, size_t size, int32_t width, int32_t height);

    mutable std::mutex lock_;  // guards calls_
    std::condition_variable changed_;
    std::vector<Call> calls_;
    size_t frames24_ = 0;
};
