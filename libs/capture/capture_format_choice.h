#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "libs/capture/capture_devices.h"

// The format to open a camera with for pictures of width x height at `fps`:
// the offered size nearest to it (that size, else the smallest larger one,
// else the largest), and at that size the raw format when it reaches the
// rate (it costs no decoding), else MJPG when that does (many webcams give
// only 5-10 fps raw at 720p), else whichever is fastest. A rate of 0 means
// not known and counts as reaching. Nothing when no fixed size is offered.
std::optional<CaptureFormat> chooseCaptureFormat(const std::vector<CaptureFormat>& offered,
                                                 int32_t width, int32_t height, int32_t fps);
