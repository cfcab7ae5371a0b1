#pragma once

#include <cstdint>

// Counts heap allocations (malloc, calloc, realloc, the aligned variants and
// so every operator new) made by any thread of this program while counting
// is on. The program links alloc_counter.cpp, which replaces the allocator's
// entry points with counting ones that forward to glibc.
namespace alloc_counter {
void start();
// Stops counting and returns the allocations since start().
uint64_t stop();
}  // namespace alloc_counter
