#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QPushButton>

#include <cstdlib>
#include <thread>

#include "libs/capture/capture_devices.h"
#include "libs/capture/device_property_dialog.h"
#include "libs/capture/video_capture.h"
#include "tests/support/frame_log.h"
#include "tests/support/log_capture.h"
#include "tests/support/offscreen_application.h"

namespace {
using namespace std::chrono_literals;

// Records raw frames, for looking at exact pixels.
class PixelLog : public ISimplyCallBack {
public:
    void OnSimplyCallBack(int msg, unsigned char* data, long size) override {
        if (msg != MSG_FRAME) {
            return;
        }
        std::lock_guard<std::mutex> guard(lock_);
        last_.assign(data, data + size);
        ++frames_;
    }
    std::vector<uint8_t> last() {
        std::lock_guard<std::mutex> guard(lock_);
        return last_;
    }
    size_t frames() {
        std::lock_guard<std::mutex> guard(lock_);
        return frames_;
    }
    bool waitForMore(size_t count, std::chrono::milliseconds timeout = 5s) {
        auto deadline = std::chrono::steady_clock::now() + timeout;
        while (frames() < count && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(5ms);
        }
        return frames() >= count;
    }

private:
    std::mutex lock_;  // guards last_ and frames_
    std::vector<uint8_t> last_;
    size_t frames_ = 0;
};

struct VideoCaptureTest : ::testing::Test {
    void SetUp() override { setenv("LUMORA_FAKE_CAMERAS", "2", 1); }
    // The number of the first test camera: real cameras come first.
    static unsigned firstTestCamera() {
        auto devices = listCaptureDevices();
        for (unsigned i = 0; i < devices.size(); ++i) {
            if (devices[i].isTestCamera()) {
                return i;
            }
        }
        return 0;
    }
};

// Pixel (x, y) of the picture, y = 0 the top line, in a bottom-row-first frame.
const uint8_t* pictureAt(const std::vector<uint8_t>& frame, int x, int y) {
    return frame.data() + (static_cast<size_t>(479 - y) * 640 + x) * 4;
}
}  // namespace

TEST_F(VideoCaptureTest, TestCamerasAreListedAfterRealOnesWithTheirFormats) {
    auto devices = listCaptureDevices();
    unsigned first = firstTestCamera();
    ASSERT_EQ(devices.size(), first + 2);
    EXPECT_EQ(devices[first].name, "Test Camera 1");
    EXPECT_EQ(devices[first + 1].name, "Test Camera 2");
    EXPECT_NE(devices[first].testPattern, devices[first + 1].testPattern);
    ASSERT_EQ(devices[first].formats.size(), 8u);
    EXPECT_EQ(fourccText(devices[first].formats[0].fourcc), "YUYV");
    EXPECT_EQ(fourccText(devices[first].formats[4].fourcc), "MJPG");
    EXPECT_EQ(devices[first].formats[3].width, 1280);
    EXPECT_EQ(devices[first].formats[3].height, 720);
    setenv("LUMORA_FAKE_CAMERAS", "0", 1);
    EXPECT_EQ(listCaptureDevices().size(), first);
}

TEST_F(VideoCaptureTest, ATestCameraDeliversScaledBottomRowFirstFrames) {
    for (auto size : {std::pair{640, 480}, std::pair{320, 240}, std::pair{1280, 720}}) {
        PixelLog log;
        VideoCapture camera;
        ASSERT_EQ(camera.Init(size.first, size.second, 640, 480, firstTestCamera()), 0);
        camera.Advise(&log);
        ASSERT_EQ(camera.Start(), 0);
        ASSERT_TRUE(log.waitForMore(3));
        camera.Stop();
        auto frame = log.last();
        ASSERT_EQ(frame.size(), 640u * 480u * 4u);
        // SMPTE bars: the picture's top-left is white, its bottom-left a dark
        // blue patch; upside down these would swap. A 16:9 picture keeps its
        // proportions between black bands of 60 rows.
        int band = size.first * 3 == size.second * 4 ? 0 : 60;
        EXPECT_EQ(nearestColour(pictureAt(frame, 20, band + 10)), "white") << size.first;
        const uint8_t* bottom = pictureAt(frame, 20, 470 - band);
        EXPECT_GT(bottom[0], 100) << "blue at the bottom, " << size.first;
        EXPECT_LT(bottom[1] + bottom[2], 100) << size.first;
        if (band > 0) {
            EXPECT_EQ(nearestColour(pictureAt(frame, 320, 20)), "black");
            EXPECT_EQ(nearestColour(pictureAt(frame, 320, 470)), "black");
        }
    }
}

TEST_F(VideoCaptureTest, NoFrameArrivesAfterStopReturns) {
    PixelLog log;
    VideoCapture camera;
    ASSERT_EQ(camera.Init(640, 480, 640, 480, firstTestCamera() + 1), 0);
    camera.Advise(&log);
    for (int round = 0; round < 5; ++round) {
        ASSERT_EQ(camera.Start(), 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(20 * round));
        camera.Stop();
        size_t atStop = log.frames();
        std::this_thread::sleep_for(150ms);
        EXPECT_EQ(log.frames(), atStop) << "round " << round;
    }
}

TEST_F(VideoCaptureTest, CamerasThatCannotStreamFailWithinTheLimit) {
    LogCapture messages;
    PixelLog log;
    VideoCapture missing;
    EXPECT_NE(missing.Init(640, 480, 640, 480, 99), 0);
    missing.Advise(&log);
    EXPECT_NE(missing.Start(), 0);

    // Nodes that exist but are no cameras: refused when streaming begins.
    for (const char* path : {"/dev/null", "/dev/video-that-is-gone"}) {
        VideoCapture notACamera;
        notACamera.InitDevice(640, 480, 640, 480, CaptureDevice{path, "fake", {}, -1});
        notACamera.Advise(&log);
        auto started = std::chrono::steady_clock::now();
        EXPECT_NE(notACamera.Start(), 0) << path;
        // The camera's own limit is a few seconds; under load it can take
        // longer, so this only tells a refusal from a start that hangs.
        EXPECT_LT(std::chrono::steady_clock::now() - started, 30s) << path;
        EXPECT_TRUE(notACamera.HasFailed());
        EXPECT_EQ(notACamera.Stop(), 0);
    }
    EXPECT_EQ(log.frames(), 0u);
    EXPECT_FALSE(messages.lines().empty());
}

TEST_F(VideoCaptureTest, ThePropertyDialogChangesATestCamerasPatternLive) {
    auto app = makeOffscreenApplication<QApplication>();

    PixelLog log;
    VideoCapture camera;
    ASSERT_EQ(camera.Init(640, 480, 640, 480, firstTestCamera()), 0);
    camera.Advise(&log);
    ASSERT_EQ(camera.Start(), 0);
    DevicePropertyDialog dialog(&camera);
    auto* patterns = dialog.findChild<QComboBox*>("testPattern");
    ASSERT_NE(patterns, nullptr);
    EXPECT_EQ(patterns->currentText(), "smpte");
    EXPECT_GE(patterns->findText("ball"), 0);

    patterns->setCurrentIndex(patterns->findText("red"));
    size_t seen = log.frames();
    ASSERT_TRUE(log.waitForMore(seen + 3));
    EXPECT_EQ(nearestColour(pictureAt(log.last(), 320, 240)), "red");
    EXPECT_EQ(camera.TestPattern(), patterns->currentData().toInt());

    dialog.findChild<QPushButton*>("resetButton")->click();
    EXPECT_EQ(patterns->currentText(), "smpte");
    seen = log.frames();
    ASSERT_TRUE(log.waitForMore(seen + 3));
    EXPECT_EQ(nearestColour(pictureAt(log.last(), 20, 10)), "white");
    camera.Stop();
}
