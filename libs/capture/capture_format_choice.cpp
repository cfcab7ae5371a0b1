#include "libs/capture/capture_format_choice.h"

#include <linux/videodev2.h>

#include <algorithm>

namespace {
int64_t area(const CaptureFormat& format) {
    return static_cast<int64_t>(format.width) * format.height;
}

bool reaches(const CaptureFormat& format, int32_t fps) {
    return format.maxFps == 0 || format.maxFps >= fps;
}

// The size to open: the wanted one, else the smallest that holds it, else
// the largest offered.
std::optional<CaptureFormat> nearestSize(const std::vector<CaptureFormat>& offered, int32_t width,
                                         int32_t height) {
    std::optional<CaptureFormat> larger;
    std::optional<CaptureFormat> largest;
    for (const CaptureFormat& format : offered) {
        if (format.width <= 0 || format.height <= 0) {
            continue;
        }
        if (format.width == width && format.height == height) {
            return format;
        }
        if (format.width >= width && format.height >= height &&
            (!larger || area(format) < area(*larger))) {
            larger = format;
        }
        if (!largest || area(format) > area(*largest)) {
            largest = format;
        }
    }
    return larger ? larger : largest;
}
}  // namespace

std::optional<CaptureFormat> chooseCaptureFormat(const std::vector<CaptureFormat>& offered,
                                                 int32_t width, int32_t height, int32_t fps) {
    std::optional<CaptureFormat> size = nearestSize(offered, width, height);
    if (!size) {
        return std::nullopt;
    }
    std::optional<CaptureFormat> raw, jpeg, fastest;
    for (const CaptureFormat& format : offered) {
        if (format.width != size->width || format.height != size->height) {
            continue;
        }
        if (format.fourcc == V4L2_PIX_FMT_MJPEG) {
            jpeg = format;
        } else if (!raw) {
            raw = format;
        }
        if (!fastest || format.maxFps > fastest->maxFps) {
            fastest = format;
        }
    }
    if (raw && reaches(*raw, fps)) {
        return raw;
    }
    if (jpeg && reaches(*jpeg, fps)) {
        return jpeg;
    }
    return fastest;
}
