#pragma once

#include <gst/gst.h>

#include <chrono>

// Takes a pipeline down (to NULL, then releases it) on a thread of its own.
// Taking a pipeline down waits for its streaming threads; a pipeline whose
// threads are stuck (a damaged file can leave a demuxer waiting for good)
// would hold the waiting thread with it. The caller waits only a bounded
// while and goes on either way.
namespace PipelineReaper {
// Takes over the caller's reference to `pipeline`. True when the pipeline was
// down within `patience`; false when it is left to finish on its own.
bool retire(GstElement* pipeline, std::chrono::milliseconds patience);
}  // namespace PipelineReaper
