#pragma once

#include <gst/gst.h>

// Pooled buffers for an appsrc, so that nothing is allocated per block fed.
//
// A pool of blockSize buffers for `source`'s caps: `made` of them at once, at
// most `most` (0: no limit) out of the pool at a time. Active on return.
GstBufferPool* makeBufferPool(GstElement* source, int blockSize, guint made, guint most);
// Deactivates and releases a pool made above; the pointer is cleared.
void dropBufferPool(GstBufferPool*& pool);
// Fills a pooled buffer with `size` bytes and pushes it into the appsrc with
// its time; false when the pool had no buffer or the appsrc refused it. With
// `dontWait` an empty pool is a refusal rather than a wait.
bool pushPooled(GstElement* source, GstBufferPool* pool, const void* data, int size,
                GstClockTime pts, GstClockTime duration, bool dontWait);
