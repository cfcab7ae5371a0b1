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

// Cameras of the NTSC lineage give their frame interval as 1001/30000 s
// (29.97 fps): that keeps up with a 30 fps mode, so raw is not passed over;
// any other fraction of a frame is not reached.
TEST(CaptureFormatChoiceTest, ANtscIntervalCountsAsItsWholeRate) {
    EXPECT_EQ(frameRateOfInterval(1001, 30000), 30);
    EXPECT_EQ(frameRateOfInterval(1001, 15000), 15);
    EXPECT_EQ(frameRateOfInterval(1, 30), 30);
    EXPECT_EQ(frameRateOfInterval(1001, 60000), 60);
    EXPECT_EQ(frameRateOfInterval(1001, 24000), 24);
    EXPECT_EQ(frameRateOfInterval(1, 5), 5);
    EXPECT_EQ(frameRateOfInterval(2, 25), 12) << "12.5 fps reaches 12, not 13";
    EXPECT_EQ(frameRateOfInterval(1, 4000000000u), INT32_MAX);
    EXPECT_EQ(frameRateOfInterval(0, 30), 0) << "no interval: the rate is not known";

    // Raw at 29.97, MJPG at a plain 30: raw keeps up, nothing to decode.
    const std::vector<CaptureFormat> ntsc = {
        {kRaw, 640, 480, frameRateOfInterval(1001, 30000)},
        {kJpeg, 640, 480, frameRateOfInterval(1, 30)},
    };
    EXPECT_EQ(describe(chooseCaptureFormat(ntsc, 640, 480, 30)), "YUYV 640x480@30");
}
