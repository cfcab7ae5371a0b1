#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

// Counts the worker's ticks and the tick slots it missed: a tick that starts
// more than half a period late has missed every slot it overran. The worker
// notes each tick; any thread may read the counts.
class TickLedger {
public:
    struct Counts {
        uint64_t ticks = 0;
        uint64_t missed = 0;
    };

    // Starts counting afresh; the next tick is the first.
    void Reset();
    // The worker, at the start of each tick: when it started and the period
    // it was armed with.
    void Note(std::chrono::steady_clock::time_point start, std::chrono::nanoseconds period);
    Counts Read() const;

private:
    std::atomic<uint64_t> ticks_{0};
    std::atomic<uint64_t> missed_{0};
    // Only the worker touches it (Reset runs while the worker is stopped).
    std::chrono::steady_clock::time_point previous_{};
};
