#include "tests/sources/vivid_device.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "tests/support/eventually.h"

namespace {
namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The name vivid gives its capture node in sysfs.
constexpr const char* kCaptureNodeName = "vivid-000-vid-cap";
constexpr const char* kDriverFolder = "/sys/bus/platform/drivers/vivid/";
constexpr const char* kDeviceName = "vivid.0";

std::string captureNode() {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/sys/class/video4linux", error)) {
        std::string name;
        std::getline(std::ifstream(entry.path() / "name"), name);
        if (name == kCaptureNodeName) {
            return "/dev/" + entry.path().filename().string();
        }
    }
    return "";
}

// The node once sysfs names it and devtmpfs has made it.
std::string waitForCaptureNode() {
    std::string node;
    eventually(
        [&] {
            node = captureNode();
            return !node.empty() && fs::exists(node);
        },
        30s);
    return node;
}

bool writeDriverFile(const char* file) {
    std::ofstream out(std::string(kDriverFolder) + file);
    out << kDeviceName << std::flush;
    return out.good();
}

struct OpenNode {
    int fd;
    explicit OpenNode(const std::string& node) : fd(::open(node.c_str(), O_RDWR | O_CLOEXEC)) {}
    ~OpenNode() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

double highestFps(int fd, uint32_t fourcc, uint32_t width, uint32_t height) {
    v4l2_frmivalenum interval{};
    interval.pixel_format = fourcc;
    interval.width = width;
    interval.height = height;
    double best = 0;
    for (; ::ioctl(fd, VIDIOC_ENUM_FRAMEINTERVALS, &interval) == 0; ++interval.index) {
        if (interval.type == V4L2_FRMIVAL_TYPE_DISCRETE && interval.discrete.numerator > 0) {
            best =
                std::max(best, double(interval.discrete.denominator) / interval.discrete.numerator);
        }
    }
    return best;
}

void appendDiscreteSizes(int fd, uint32_t fourcc, std::vector<DriverSize>* sizes) {
    v4l2_frmsizeenum size{};
    size.pixel_format = fourcc;
    for (; ::ioctl(fd, VIDIOC_ENUM_FRAMESIZES, &size) == 0; ++size.index) {
        if (size.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
            uint32_t width = size.discrete.width, height = size.discrete.height;
            sizes->push_back({fourcc, width, height, highestFps(fd, fourcc, width, height)});
        }
    }
}
}  // namespace

std::string loadVividWebcam() {
    // One capture node (node_types bit 0) with one webcam input (input type 0);
    // without the error-injection controls, which only a driver test wants.
    const char* load =
        "modprobe vivid n_devs=1 node_types=0x1 num_inputs=1 input_types=0 no_error_inj=1";
    if (std::system(load) != 0) {
        return "";
    }
    return waitForCaptureNode();
}

bool unbindVivid() { return writeDriverFile("unbind"); }

std::string bindVivid() { return writeDriverFile("bind") ? waitForCaptureNode() : ""; }

std::vector<DriverSize> driverSizes(const std::string& node) {
    std::vector<DriverSize> sizes;
    OpenNode device(node);
    v4l2_fmtdesc format{};
    format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    for (; device.fd >= 0 && ::ioctl(device.fd, VIDIOC_ENUM_FMT, &format) == 0; ++format.index) {
        appendDiscreteSizes(device.fd, format.pixelformat, &sizes);
    }
    return sizes;
}

bool readDriverControl(const std::string& node, uint32_t id, int32_t* value) {
    OpenNode device(node);
    v4l2_control control{id, 0};
    if (device.fd < 0 || ::ioctl(device.fd, VIDIOC_G_CTRL, &control) != 0) {
        return false;
    }
    *value = control.value;
    return true;
}

UdevDaemon::~UdevDaemon() {
    if (started_) {
        std::system("udevadm control --exit");
    }
}

bool UdevDaemon::start() {
    started_ = std::system("/lib/systemd/systemd-udevd --daemon") == 0;
    return started_ && std::system("udevadm control --ping --timeout=30") == 0;
}
