#include "engine/tick_ledger.h"

#include <cmath>

void TickLedger::Reset() {
    ticks_ = 0;
    missed_ = 0;
    previous_ = {};
}

void TickLedger::Note(std::chrono::steady_clock::time_point start,
                      std::chrono::nanoseconds period) {
    if (ticks_.fetch_add(1, std::memory_order_relaxed) > 0 && period.count() > 0) {
        double periods =
            static_cast<double>((start - previous_).count()) / static_cast<double>(period.count());
        auto slots = static_cast<uint64_t>(std::llround(periods));
        if (slots > 1) {
            missed_.fetch_add(slots - 1, std::memory_order_relaxed);
        }
    }
    previous_ = start;
}

TickLedger::Counts TickLedger::Read() const {
    return Counts{ticks_.load(std::memory_order_relaxed), missed_.load(std::memory_order_relaxed)};
}
