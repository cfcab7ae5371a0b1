#include "vcam/loopback_device.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <vector>

namespace {
std::vector<std::pair<int, std::string>> videoNodesInOrder() {
    std::vector<std::pair<int, std::string>> nodes;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/dev", error)) {
        std::string name = entry.path().filename().string();
        if (name.rfind("video", 0) == 0 && name.size() > 5 &&
            std::all_of(name.begin() + 5, name.end(), ::isdigit)) {
            nodes.emplace_back(std::stoi(name.substr(5)), entry.path().string());
        }
    }
    std::sort(nodes.begin(), nodes.end());
    return nodes;
}

std::string cardLabel(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return {};
    }
    v4l2_capability capability{};
    std::string label;
    if (::ioctl(fd, VIDIOC_QUERYCAP, &capability) == 0) {
        const char* card = reinterpret_cast<const char*>(capability.card);
        label.assign(card, strnlen(card, sizeof capability.card));
    }
    ::close(fd);
    return label;
}

uint32_t pixelFormatOf(OutputFormat format) {
    switch (format) {
        case OutputFormat::Yuyv:
            return V4L2_PIX_FMT_YUYV;
        case OutputFormat::Rgb24:
            return V4L2_PIX_FMT_RGB24;
        case OutputFormat::Bgr24:
            return V4L2_PIX_FMT_BGR24;
        case OutputFormat::Bgrx:
            return V4L2_PIX_FMT_XBGR32;
    }
    return V4L2_PIX_FMT_YUYV;
}

std::optional<OutputFormat> outputFormatOf(uint32_t pixelFormat) {
    for (OutputFormat format :
         {OutputFormat::Yuyv, OutputFormat::Rgb24, OutputFormat::Bgr24, OutputFormat::Bgrx}) {
        if (pixelFormatOf(format) == pixelFormat) {
            return format;
        }
    }
    return std::nullopt;
}

int64_t monotonicMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
}
}  // namespace

std::optional<std::string> findVideoDeviceByLabel(const std::string& label) {
    for (const auto& node : videoNodesInOrder()) {
        if (cardLabel(node.second) == label) {
            return node.second;
        }
    }
    return std::nullopt;
}

std::vector<std::string> findVideoDevicesByLabelPrefix(const std::string& prefix) {
    std::vector<std::string> found;
    for (const auto& node : videoNodesInOrder()) {
        if (cardLabel(node.second).rfind(prefix, 0) == 0) {
            found.push_back(node.second);
        }
    }
    return found;
}

std::string videoDeviceLabel(const std::string& path) { return cardLabel(path); }

LoopbackDevice::~LoopbackDevice() { release(); }

bool LoopbackDevice::open(const std::string& path, OutputFormat format, int width, int height,
                          std::string* error) {
    format_ = format;
    path_ = path;
    wanted_ = {width, height};
    int failure = openAndClaim(error);
    if (failure == EINVAL && reviveLoopbackDevice(path)) {
        failure = openAndClaim(error);
    }
    if (failure == 0 && held()) {
        noteHeld();
    }
    return failure == 0;
}

int LoopbackDevice::openAndClaim(std::string* error) {
    fd_ = ::open(path_.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd_ < 0) {
        int failure = errno;
        *error = "cannot open " + path_ + ": " + std::strerror(failure);
        return failure;
    }
    // The kernel checks a format against the capabilities the device last
    // reported; a revived device has to report again first.
    v4l2_capability capability{};
    ::ioctl(fd_, VIDIOC_QUERYCAP, &capability);
    PictureSize taken;
    int refusal = setFormat(wanted_, &taken);
    if (refusal != 0) {
        *error = path_ + " refused the picture format: " + std::strerror(refusal);
        ::close(fd_);
        fd_ = -1;
        return refusal;
    }
    size_ = taken;
    int type = V4L2_BUF_TYPE_VIDEO_OUTPUT;
    ::ioctl(fd_, VIDIOC_STREAMON, &type);  // the claim; refused where write() claims
    lastTryMs_ = monotonicMs();
    return 0;
}

int LoopbackDevice::setFormat(PictureSize size, PictureSize* taken) {
    v4l2_format settings{};
    settings.type = V4L2_BUF_TYPE_VIDEO_OUTPUT;
    settings.fmt.pix.width = static_cast<uint32_t>(size.width);
    settings.fmt.pix.height = static_cast<uint32_t>(size.height);
    settings.fmt.pix.pixelformat = pixelFormatOf(format_);
    settings.fmt.pix.field = V4L2_FIELD_NONE;
    settings.fmt.pix.bytesperline = static_cast<uint32_t>(outputFrameSize(format_, size.width, 1));
    settings.fmt.pix.sizeimage =
        static_cast<uint32_t>(outputFrameSize(format_, size.width, size.height));
    settings.fmt.pix.colorspace =
        format_ == OutputFormat::Yuyv ? V4L2_COLORSPACE_SMPTE170M : V4L2_COLORSPACE_SRGB;
    settings.fmt.pix.quantization =
        format_ == OutputFormat::Yuyv ? V4L2_QUANTIZATION_LIM_RANGE : V4L2_QUANTIZATION_FULL_RANGE;
    if (::ioctl(fd_, VIDIOC_S_FMT, &settings) != 0) {
        return errno;
    }
    // A held device answers with the format it keeps rather than fail.
    auto kept = outputFormatOf(settings.fmt.pix.pixelformat);
    if (!kept || settings.fmt.pix.width == 0 || settings.fmt.pix.height == 0) {
        return EINVAL;
    }
    format_ = *kept;
    *taken = {static_cast<int>(settings.fmt.pix.width), static_cast<int>(settings.fmt.pix.height)};
    return 0;
}

void LoopbackDevice::release() {
    if (fd_ < 0) {
        return;
    }
    int type = V4L2_BUF_TYPE_VIDEO_OUTPUT;
    ::ioctl(fd_, VIDIOC_STREAMOFF, &type);
    ::close(fd_);
    fd_ = -1;
}

bool LoopbackDevice::reopen() {
    release();
    std::string error;
    int failure = openAndClaim(&error);
    if (failure == EINVAL && reviveLoopbackDevice(path_)) {
        failure = openAndClaim(&error);
    }
    lastTryMs_ = monotonicMs();
    if (failure != 0) {
        std::fprintf(stderr, "lumora-vcam: %s\n", error.c_str());
        return false;
    }
    if (held()) {
        noteHeld();
    } else {
        noted_ = false;
    }
    return true;
}

void LoopbackDevice::noteHeld() {
    if (noted_) {
        return;
    }
    noted_ = true;
    std::fprintf(stderr,
                 "lumora-vcam: %s is held at %dx%d by a program reading it; the %dx%d pictures "
                 "are letterboxed into it until it is free\n",
                 path_.c_str(), size_.width, size_.height, wanted_.width, wanted_.height);
}

void LoopbackDevice::follow(const PictureMode& mode) {
    if (mode.size == wanted_ && fd_ >= 0) {
        return;
    }
    wanted_ = mode.size;
    reopen();
}

std::optional<PictureSize> videoDeviceOutputSize(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    v4l2_format settings{};
    settings.type = V4L2_BUF_TYPE_VIDEO_OUTPUT;
    bool known = ::ioctl(fd, VIDIOC_G_FMT, &settings) == 0;
    ::close(fd);
    if (!known || settings.fmt.pix.width == 0) {
        return std::nullopt;
    }
    return PictureSize{static_cast<int>(settings.fmt.pix.width),
                       static_cast<int>(settings.fmt.pix.height)};
}

bool LoopbackDevice::write(const SinkPicture& picture) {
    bool retry = monotonicMs() - lastTryMs_ >= kRetryHeldMs;
    if ((fd_ < 0 || held()) && retry && !reopen()) {
        return true;  // tried again later; the other sinks go on
    }
    if (fd_ < 0) {
        return true;
    }
    ssize_t written = ::write(fd_, picture.bytes, picture.size);
    // A loopback device takes whole pictures; a failed write is one lost
    // frame unless the device went away.
    return written >= 0 || (errno != ENODEV && errno != EBADF);
}

bool reviveLoopbackDevice(const std::string& path) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    // Refused for want of a format, yet it marks this opener as the writer,
    // whose close gives the output capability back.
    int type = V4L2_BUF_TYPE_VIDEO_OUTPUT;
    ::ioctl(fd, VIDIOC_STREAMON, &type);
    ::close(fd);
    return true;
}
