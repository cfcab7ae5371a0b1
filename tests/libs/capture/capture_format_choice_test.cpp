#include <gtest/gtest.h>
#include <linux/videodev2.h>

#include "libs/capture/capture_devices.h"
#include "libs/capture/capture_format_choice.h"

namespace {
constexpr uint32_t kRaw = V4L2_PIX_FMT_YUYV;
constexpr uint32_t kJpeg = V4L2_PIX_FMT_MJPEG;

std::string describe(const std::optional<CaptureFormat>& format) {
    if (!format) {
        return "none";
    }
    return fourccText(format->fourcc) + " " + std::to_string(format->width) + "x" +
           std::to_string(format->height) + "@" + std::to_string(format->maxFps);
}
}  // namespace

TEST(CaptureFormatChoiceTest, TheNearestSizeInTheFormatThatReachesTheRate) {
    // A typical USB webcam: raw is fast only at the small sizes.
    const std::vector<CaptureFormat> webcam = {
        {kRaw, 640, 480, 30},  {kRaw, 1280, 720, 10},  {kRaw, 1920, 1080, 5},
        {kJpeg, 640, 480, 30}, {kJpeg, 1280, 720, 30}, {kJpeg, 1920, 1080, 30},
    };
    EXPECT_EQ(describe(chooseCaptureFormat(webcam, 1280, 720, 30)), "MJPG 1280x720@30");
    EXPECT_EQ(describe(chooseCaptureFormat(webcam, 1920, 1080, 30)), "MJPG 1920x1080@30");
    EXPECT_EQ(describe(chooseCaptureFormat(webcam, 640, 480, 15)), "YUYV 640x480@30")
        << "raw when it keeps up: nothing to decode";
    EXPECT_EQ(describe(chooseCaptureFormat(webcam, 1280, 720, 10)), "YUYV 1280x720@10");

    // Sizes the camera does not offer: the smallest larger one, else the largest.
    const std::vector<CaptureFormat> small = {{kRaw, 320, 240, 30}, {kRaw, 800, 600, 20}};
    EXPECT_EQ(describe(chooseCaptureFormat(small, 1280, 720, 30)), "YUYV 800x600@20")
        << "nothing reaches the rate: the fastest at the largest size";
    const std::vector<CaptureFormat> wide = {{kRaw, 640, 480, 30}, {kRaw, 1920, 1080, 30}};
    EXPECT_EQ(describe(chooseCaptureFormat(wide, 1280, 720, 30)), "YUYV 1920x1080@30");

    // Unknown rates count as reaching; ranges offer no size to choose.
    const std::vector<CaptureFormat> silent = {{kRaw, 1280, 720, 0}, {kJpeg, 1280, 720, 0}};
    EXPECT_EQ(describe(chooseCaptureFormat(silent, 1280, 720, 30)), "YUYV 1280x720@0");
    EXPECT_EQ(describe(chooseCaptureFormat({{kRaw, 0, 0, 0}}, 1280, 720, 30)), "none");
    EXPECT_EQ(describe(chooseCaptureFormat({}, 1280, 720, 30)), "none");
}
