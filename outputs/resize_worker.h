#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

// A thread of its own that carries out size changes, so that the thread that
// asks for one (the graph's worker) never waits for the files and mappings a
// new size needs. Only the latest request counts: one made while an earlier
// one still waits replaces it.
//
// Threads: request() may be called from one thread at a time and never
// blocks; the action runs on the worker's thread.
class ResizeWorker {
public:
    using Action = std::function<void(int32_t width, int32_t height)>;

    explicit ResizeWorker(Action action);
    // Lets a running action finish, then ends the thread.
    ~ResizeWorker();
    ResizeWorker(const ResizeWorker&) = delete;
    ResizeWorker& operator=(const ResizeWorker&) = delete;

    // Asks for the action at width x height (each below 65,536).
    void request(int32_t width, int32_t height);

private:
    void run();

    Action action_;
    // The latest request: a count of requests in the high 32 bits, so that
    // asking twice for one size still wakes the worker, and width << 16 |
    // height in the low ones. Waited on with std::atomic::wait.
    std::atomic<uint64_t> request_{0};
    std::atomic<bool> quit_{false};
    std::thread thread_;
};
