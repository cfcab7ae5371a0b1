#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// One picture format a capture device offers.
struct CaptureFormat {
    uint32_t fourcc;  // V4L2 pixel format
    int32_t width;    // 0 for stepwise and continuous size ranges
    int32_t height;
    int32_t maxFps = 0;  // the highest rate offered at this size; 0 when not known
};

// A device the capture library can open, in the order the library numbers
// them: V4L2 capture nodes in /dev/videoN order, then the test pattern cameras
// of LUMORA_FAKE_CAMERAS.
struct CaptureDevice {
    std::string path;  // "/dev/video0"; empty for a test camera
    std::string name;  // the driver's card name; "unknown cam" when unreadable
    std::vector<CaptureFormat> formats;
    int testPattern = -1;  // the videotestsrc pattern of a test camera, else -1
    // How long a test camera streams before its first frame, as a slow webcam
    // warms up (LUMORA_FAKE_CAMERA_WARMUP_MS); 0 for real cameras.
    int warmupMs = 0;
    bool isTestCamera() const { return testPattern >= 0; }
};

// Every capture device, in enumeration order. Devices that only carry
// metadata, and output-only devices (a loopback device before anyone writes
// to it), are not listed.
std::vector<CaptureDevice> listCaptureDevices();

// The V4L2 node at `path` as a capture device; nothing when it is not a video
// capture node or cannot be opened at all.
std::optional<CaptureDevice> probeV4l2Device(const std::string& path);

// The test cameras that LUMORA_FAKE_CAMERAS=N asks for ("Test Camera 1" ...),
// each with its own pattern, offering 640 x 480, 480 x 360, 320 x 240 and
// 1280 x 720 in YUYV and MJPG, at 30 fps but for YUYV at 1280 x 720, which
// gives only 10 (as many webcams do). LUMORA_FAKE_CAMERA_WARMUP_MS=M holds back
// each one's frames for the first M milliseconds after it starts.
std::vector<CaptureDevice> testCameras();

// The whole rate a frame interval of numerator/denominator seconds (as V4L2
// gives it) reaches: 2/25 s (12.5 fps) is 12, but 1001/30000 s (29.97 fps,
// the broadcast form of 30) is 30. 0 for a zero numerator (not known).
int32_t frameRateOfInterval(uint32_t numerator, uint32_t denominator);

// The fourcc as text, "YUYV", "MJPG".
std::string fourccText(uint32_t fourcc);
