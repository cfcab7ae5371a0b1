#include "libs/capture/capture_devices.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace {
// Distinct, easily told apart videotestsrc patterns: smpte, ball, pinwheel,
// spokes, gradient, chroma zone plate.
constexpr int kTestPatterns[] = {0, 18, 22, 23, 19, 10};
constexpr int kMaxTestCameras = 16;

int ioctlRetry(int fd, unsigned long request, void* argument) {
    int result;
    do {
        result = ::ioctl(fd, request, argument);
    } while (result < 0 && errno == EINTR);
    return result;
}

// The highest rate a discrete size is offered at; 0 when the device says
// nothing or offers a range.
int32_t highestRate(int fd, uint32_t fourcc, uint32_t width, uint32_t height) {
    v4l2_frmivalenum interval{};
    interval.pixel_format = fourcc;
    interval.width = width;
    interval.height = height;
    int32_t best = 0;
    for (interval.index = 0; ioctlRetry(fd, VIDIOC_ENUM_FRAMEINTERVALS, &interval) == 0;
         ++interval.index) {
        if (interval.type != V4L2_FRMIVAL_TYPE_DISCRETE || interval.discrete.numerator == 0) {
            break;
        }
        best = std::max(
            best, frameRateOfInterval(interval.discrete.numerator, interval.discrete.denominator));
    }
    return best;
}

void appendSizes(int fd, uint32_t fourcc, std::vector<CaptureFormat>* formats) {
    v4l2_frmsizeenum size{};
    size.pixel_format = fourcc;
    bool any = false;
    for (size.index = 0; ioctlRetry(fd, VIDIOC_ENUM_FRAMESIZES, &size) == 0; ++size.index) {
        any = true;
        if (size.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
            formats->push_back(
                {fourcc, static_cast<int32_t>(size.discrete.width),
                 static_cast<int32_t>(size.discrete.height),
                 highestRate(fd, fourcc, size.discrete.width, size.discrete.height)});
        } else {
            formats->push_back({fourcc, 0, 0});  // a range: no fixed size to offer
            break;
        }
    }
    if (!any) {
        formats->push_back({fourcc, 0, 0});
    }
}

std::vector<std::string> videoNodesInOrder() {
    std::vector<std::pair<int, std::string>> nodes;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/dev", error)) {
        std::string name = entry.path().filename().string();
        if (name.size() > 5 && name.rfind("video", 0) == 0 &&
            std::all_of(name.begin() + 5, name.end(), ::isdigit)) {
            nodes.emplace_back(std::stoi(name.substr(5)), entry.path().string());
        }
    }
    std::sort(nodes.begin(), nodes.end());
    std::vector<std::string> paths;
    for (auto& node : nodes) {
        paths.push_back(std::move(node.second));
    }
    return paths;
}
}  // namespace

int32_t frameRateOfInterval(uint32_t numerator, uint32_t denominator) {
    if (numerator == 0) {
        return 0;
    }
    // A rate counts as what the camera reaches, so 12.5 fps is 12; but the
    // broadcast family's N x 1000/1001 (29.97, 59.94, 23.976) is N: such a
    // camera keeps up with an N fps mode.
    uint64_t whole = denominator / numerator;
    uint64_t next = whole + 1;
    if (static_cast<uint64_t>(denominator) * 1001 >= next * numerator * 1000) {
        whole = next;
    }
    return static_cast<int32_t>(std::min<uint64_t>(whole, INT32_MAX));
}

std::optional<CaptureDevice> probeV4l2Device(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        // A camera the user may not open is still a camera: listed, unnamed.
        return errno == EACCES ? std::optional(CaptureDevice{path, "unknown cam", {}, -1})
                               : std::nullopt;
    }
    CaptureDevice device{path, "unknown cam", {}, -1};
    v4l2_capability capability{};
    if (ioctlRetry(fd, VIDIOC_QUERYCAP, &capability) == 0) {
        uint32_t caps = (capability.capabilities & V4L2_CAP_DEVICE_CAPS) ? capability.device_caps
                                                                         : capability.capabilities;
        if ((caps & (V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_VIDEO_CAPTURE_MPLANE)) == 0) {
            ::close(fd);
            return std::nullopt;  // metadata or output only
        }
        const char* card = reinterpret_cast<const char*>(capability.card);
        size_t length = strnlen(card, sizeof capability.card);
        if (length > 0) {
            device.name.assign(card, length);
        }
    }
    v4l2_fmtdesc format{};
    format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    for (format.index = 0; ioctlRetry(fd, VIDIOC_ENUM_FMT, &format) == 0; ++format.index) {
        appendSizes(fd, format.pixelformat, &device.formats);
    }
    ::close(fd);
    return device;
}

std::vector<CaptureDevice> testCameras() {
    std::vector<CaptureDevice> cameras;
    const char* wanted = std::getenv("LUMORA_FAKE_CAMERAS");
    int count = wanted != nullptr ? std::atoi(wanted) : 0;
    count = std::clamp(count, 0, kMaxTestCameras);
    const char* warmup = std::getenv("LUMORA_FAKE_CAMERA_WARMUP_MS");
    int warmupMs = warmup != nullptr ? std::max(0, std::atoi(warmup)) : 0;
    const int sizes[][2] = {{640, 480}, {480, 360}, {320, 240}, {1280, 720}};
    for (int i = 0; i < count; ++i) {
        CaptureDevice camera{"",
                             "Test Camera " + std::to_string(i + 1),
                             {},
                             kTestPatterns[i % std::size(kTestPatterns)],
                             warmupMs};
        for (uint32_t fourcc : {V4L2_PIX_FMT_YUYV, V4L2_PIX_FMT_MJPEG}) {
            for (const auto& size : sizes) {
                bool slowRaw = fourcc == V4L2_PIX_FMT_YUYV && size[0] >= 1280;
                camera.formats.push_back({fourcc, size[0], size[1], slowRaw ? 10 : 30});
            }
        }
        cameras.push_back(std::move(camera));
    }
    return cameras;
}

std::vector<CaptureDevice> listCaptureDevices() {
    std::vector<CaptureDevice> devices;
    for (const std::string& path : videoNodesInOrder()) {
        if (auto device = probeV4l2Device(path)) {
            devices.push_back(std::move(*device));
        }
    }
    for (auto& camera : testCameras()) {
        devices.push_back(std::move(camera));
    }
    return devices;
}

std::string fourccText(uint32_t fourcc) {
    std::string text;
    for (int shift = 0; shift < 32; shift += 8) {
        text += static_cast<char>((fourcc >> shift) & 0xFF);
    }
    return text;
}
