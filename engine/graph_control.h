#pragma once

#include <atomic>
#include <cstdint>

// The pacing of a graph's worker: a one-shot monotonic timer that the worker
// re-arms, relative to now, at the start of each tick, and a stop event. Both
// are file descriptors waited on together; a stop wins when both are ready.
//
// The timer behaves like a manual-reset waitable timer: once expired it stays
// ready until it is re-armed. The stop event is auto-reset: the wait that sees
// it consumes it, so a stopped graph can be started again.
//
// Threads: RequestStop, SetFrameRate and ArmFirstTick come from the user
// interface thread; Wait and Rearm from the worker.
class GraphControl {
public:
    enum class Wake { Stop, Tick };

    explicit GraphControl(int32_t frameRate);
    ~GraphControl();
    GraphControl(const GraphControl&) = delete;
    GraphControl& operator=(const GraphControl&) = delete;

    // Both descriptors were created.
    bool IsValid() const { return stopFd_ >= 0 && timerFd_ >= 0; }

    // Stores the rate; the next Rearm uses the new period. fps below 1 is refused.
    bool SetFrameRate(int32_t fps);
    int32_t FrameRate() const { return frameRate_.load(std::memory_order_relaxed); }
    // The period in 100 ns units, negative (relative): -10,000,000 / fps.
    int64_t DueTime() const { return dueTime_.load(std::memory_order_relaxed); }

    // Arms the timer 100 ns from now, so the first tick comes at once.
    bool ArmFirstTick();
    // Arms the timer one period from now; false when the kernel refused.
    bool Rearm();
    // Blocks until the stop event or the timer is ready.
    Wake Wait();
    void RequestStop();

private:
    bool armRelative(int64_t dueTime100ns);

    int stopFd_;
    int timerFd_;
    std::atomic<int32_t> frameRate_{0};
    std::atomic<int64_t> dueTime_{0};
};
