#include "vcam/loopback_device.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "base/debug_log.h"

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

LoopbackDevice::~LoopbackDevice() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

bool LoopbackDevice::open(const std::string& path, OutputFormat format, int width, int height,
                          std::string* error) {
    format_ = format;
    path_ = path;
    fd_ = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd_ < 0) {
        *error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    int refusal = setFormat({width, height});
    if (refusal != 0) {
        *error = path + " refused the picture format: " + std::strerror(refusal);
        ::close(fd_);
        fd_ = -1;
        return false;
    }
    size_ = {width, height};
    return true;
}

int LoopbackDevice::setFormat(PictureSize size) {
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
    // While a program reads it, the device may answer with the size it has
    // rather than fail.
    if (settings.fmt.pix.width != static_cast<uint32_t>(size.width) ||
        settings.fmt.pix.height != static_cast<uint32_t>(size.height)) {
        return EBUSY;
    }
    if (format_ == OutputFormat::Rgb24) {
        debugLog("CreateMediaTypeRgb24, imagesize:%d",
                 static_cast<int>(settings.fmt.pix.sizeimage));
    }
    return 0;
}

void LoopbackDevice::follow(const PictureMode& mode) {
    if (fd_ < 0 || mode.size == size_) {
        return;
    }
    int refusal = setFormat(mode.size);
    if (refusal == 0) {
        size_ = mode.size;
        return;
    }
    if (!noted_) {
        noted_ = true;
        std::fprintf(stderr,
                     "lumora-vcam: %s stays at %dx%d (%s), a program holds it; the %dx%d "
                     "pictures are scaled to it\n",
                     path_.c_str(), size_.width, size_.height, std::strerror(refusal),
                     mode.size.width, mode.size.height);
    }
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

bool LoopbackDevice::write(const uint8_t* data, size_t size) {
    ssize_t written = ::write(fd_, data, size);
    // A loopback device takes whole pictures; a failed write is one lost
    // frame unless the device went away.
    return written >= 0 || (errno != ENODEV && errno != EBADF);
}
