#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

// Tells a connection whose server went silent (the connection stays open,
// but nothing more is taken: the server hangs, or the network drops
// everything without closing) from one that only had nothing to send. The
// sink then waits for ever and says nothing, so the stream must see it
// itself: pictures keep being offered, but no byte leaves for `limit`.
class LiveStall {
public:
    using Clock = std::chrono::steady_clock;

    explicit LiveStall(Clock::duration limit) : limit_(limit) {}

    // Notes, at `now`, the bytes the connection wrote to the network so far
    // and the pictures offered to the stream so far; true when pictures were
    // offered but the bytes have not grown for the limit.
    bool stalled(uint64_t bytesOut, uint64_t picturesOffered, Clock::time_point now);

private:
    Clock::duration limit_;
    std::optional<uint64_t> bytesOut_;  // the last count seen
    uint64_t picturesOffered_ = 0;      // when the bytes last grew
    Clock::time_point since_;           // when the bytes last grew
};
