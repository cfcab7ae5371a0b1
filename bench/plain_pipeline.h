#pragma once

#include <chrono>
#include <string>
#include <vector>

// Runs gst-launch-1.0 with the given words for `duration`, ends it as Ctrl+C
// would, and returns the processor time it used per second of wall time (a
// fraction of one core); -1 when it could not start.
double plainPipelineCoreFraction(const std::vector<std::string>& words,
                                 std::chrono::seconds duration);

// Splits a pipeline description at spaces (none of ours quotes anything).
std::vector<std::string> splitWords(const std::string& description);

// Processor time of this process so far, in seconds.
double processCpuSeconds();
