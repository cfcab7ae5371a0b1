#include "tests/vcam/loopback_consumer.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "tests/support/test_media.h"
#include "tests/vcam/browser_marker.h"

namespace {
uint8_t clampByte(double value) { return static_cast<uint8_t>(std::clamp(value, 0.0, 255.0)); }

// The mean colour of a rectangle's middle half.
std::array<double, 3> meanColour(const std::vector<uint8_t>& rgb, int width, int left, int top,
                                 int w, int h) {
    std::array<double, 3> sum{};
    int count = 0;
    for (int y = top + h / 4; y < top + h * 3 / 4; ++y) {
        for (int x = left + w / 4; x < left + w * 3 / 4; ++x) {
            for (int c = 0; c < 3; ++c) {
                sum[c] += rgb[(static_cast<size_t>(y) * width + x) * 3 + c];
            }
            ++count;
        }
    }
    for (auto& value : sum) {
        value /= count;
    }
    return sum;
}
}  // namespace

const char* LoopbackConsumer::name(Kind kind) {
    return kind == Kind::Ffmpeg ? "ffmpeg" : "GStreamer v4l2src";
}

LoopbackConsumer::LoopbackConsumer(Kind kind, std::string device, int width, int height)
    : width_(width), height_(height) {
    if (kind == Kind::Ffmpeg) {
        // Each picture the device hands out, once: on its own, ffmpeg keeps a
        // constant output rate and fills every gap in the device's time
        // stamps with copies of the picture before it, so a test that reads
        // slower than real time (an emulated processor under load) falls
        // further behind the device with every gap, by minutes in the end.
        started_ =
            process_.spawn("/usr/bin/ffmpeg", {"-hide_banner", "-loglevel", "error", "-f", "v4l2",
                                               "-i", device, "-fps_mode", "passthrough", "-f",
                                               "rawvideo", "-pix_fmt", "rgb24", "-"});
    } else {
        started_ = process_.spawn("/usr/bin/gst-launch-1.0",
                                  {"-q", "v4l2src", "device=" + device, "!", "videoconvert", "!",
                                   "video/x-raw,format=RGB", "!", "fdsink", "fd=1", "sync=false"});
    }
}

LoopbackConsumer::~LoopbackConsumer() { stop(); }

bool LoopbackConsumer::read(std::vector<uint8_t>* rgb, int timeoutMs) {
    rgb->resize(static_cast<size_t>(width_) * height_ * 3);
    // Under an emulated processor, with the machine loaded, a program that
    // loads dozens of libraries over the shared folder takes minutes to
    // start: its first picture gets that long.
    constexpr int kFirstPictureMs = 240'000;
    if (!readOne_) {
        timeoutMs = std::max(timeoutMs, kFirstPictureMs);
    }
    bool read =
        process_.readExactly(rgb->data(), rgb->size(), std::chrono::milliseconds(timeoutMs));
    readOne_ = readOne_ || read;
    return read;
}

bool LoopbackConsumer::readNewest(std::vector<uint8_t>* rgb, int timeoutMs) {
    bool read = this->read(rgb, timeoutMs);
    // Under an emulated processor the test looks at a picture slower than
    // the program hands them out; what waits in the pipe (and behind it, in
    // the program) is older than what the device shows now.
    constexpr int kMostPassedOver = 64;
    newer_.resize(rgb->size());
    for (int i = 0; read && i < kMostPassedOver && process_.hasOutput(); ++i) {
        if (!process_.readExactly(newer_.data(), newer_.size(), std::chrono::seconds(20))) {
            break;  // ended: the picture in hand is still whole
        }
        rgb->swap(newer_);
    }
    return read;
}

bool LoopbackConsumer::alive() {
    return process_.pid() > 0 && process_.wait(std::chrono::milliseconds(0)) == -1;
}

void LoopbackConsumer::stop() {
    if (process_.pid() > 0) {
        process_.signal(SIGTERM);
        if (process_.wait(std::chrono::seconds(10)) == -1) {
            process_.signal(SIGKILL);
            process_.wait();
        }
    }
}

std::vector<std::vector<uint8_t>> captureWithV4l2Ctl(const std::string& device, int count,
                                                     int width, int height) {
    ScratchDir dir;
    std::string file = dir.file("frames.yuyv");
    std::string command = "v4l2-ctl -d " + device +
                          " --stream-mmap --stream-count=" + std::to_string(count) +
                          " --stream-to=" + file + " >/dev/null 2>&1";
    std::vector<std::vector<uint8_t>> pictures;
    if (std::system(command.c_str()) != 0) {
        return pictures;
    }
    std::string bytes = contentsOf(file);
    size_t frameBytes = static_cast<size_t>(width) * height * 2;
    for (size_t at = 0; at + frameBytes <= bytes.size(); at += frameBytes) {
        pictures.push_back(
            yuyvToRgb(reinterpret_cast<const uint8_t*>(bytes.data()) + at, width, height));
    }
    return pictures;
}

std::vector<uint8_t> yuyvToRgb(const uint8_t* yuyv, int width, int height) {
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    for (size_t pair = 0; pair < static_cast<size_t>(width) * height / 2; ++pair) {
        const uint8_t* in = yuyv + pair * 4;
        double u = in[1] - 128.0, v = in[3] - 128.0;
        for (int i = 0; i < 2; ++i) {
            double y = 1.164 * (in[i * 2] - 16.0);
            uint8_t* out = rgb.data() + (pair * 2 + i) * 3;
            out[0] = clampByte(y + 1.596 * v);
            out[1] = clampByte(y - 0.392 * u - 0.813 * v);
            out[2] = clampByte(y + 2.017 * u);
        }
    }
    return rgb;
}

std::optional<uint32_t> markedNumber(const std::vector<uint8_t>& rgb, int width, double* error) {
    double worst = 0;
    for (size_t i = 0; i < BrowserMarker::kPatchesRgb.size(); ++i) {
        auto mean = meanColour(
            rgb, width, BrowserMarker::kPatchLeft + static_cast<int>(i) * BrowserMarker::kPatchStep,
            BrowserMarker::kPatchTop, BrowserMarker::kPatchWidth, BrowserMarker::kPatchHeight);
        for (int c = 0; c < 3; ++c) {
            worst = std::max(worst, std::abs(mean[c] - BrowserMarker::kPatchesRgb[i][c]));
        }
    }
    *error = worst;
    if (worst > 60) {
        return std::nullopt;
    }
    uint32_t number = 0;
    for (int bit = 0; bit < BrowserMarker::kBits; ++bit) {
        auto mean = meanColour(rgb, width, BrowserMarker::kBitLeft + bit * BrowserMarker::kBitWidth,
                               BrowserMarker::kNumberTop, BrowserMarker::kBitWidth,
                               BrowserMarker::kBitHeight);
        if (mean[1] > 128) {
            number |= 1u << bit;
        }
    }
    return number;
}

bool offersCapture(const std::string& device) {
    int fd = ::open(device.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    v4l2_capability capability{};
    bool capture = ::ioctl(fd, VIDIOC_QUERYCAP, &capability) == 0 &&
                   (capability.device_caps & V4L2_CAP_VIDEO_CAPTURE) != 0;
    ::close(fd);
    return capture;
}

std::optional<std::pair<int, int>> loopbackCaptureSize(const std::string& device) {
    std::string name = device.substr(device.rfind('/') + 1);
    std::string format = contentsOf("/sys/class/video4linux/" + name + "/format");
    int width = 0, height = 0;
    size_t colon = format.find(':');
    if (colon == std::string::npos ||
        std::sscanf(format.c_str() + colon + 1, "%dx%d", &width, &height) != 2) {
        return std::nullopt;
    }
    return std::pair{width, height};
}
