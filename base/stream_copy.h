#pragma once

#include <cstddef>

// Copies `length` bytes like memcpy, writing past the processor's caches
// (streaming stores, with AVX2; plain memcpy without it). For a large block
// that this thread will not read again soon, such as a picture for another
// process: the destination's lines are not fetched first and the cache stays
// with the data still to be worked on. The bytes are in memory when it
// returns. The ranges must not overlap.
void copyPastCache(void* to, const void* from, size_t length);
