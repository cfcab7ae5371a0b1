#pragma once

#include <optional>
#include <string>
#include <vector>

#include "vcam/frame_converter.h"
#include "vcam/frame_sink.h"

// The first /dev/videoN, in numeric order, whose card label is `label`: the
// loopback device made for us with card_label="...". Empty when there is none.
std::optional<std::string> findVideoDeviceByLabel(const std::string& label);
// Every /dev/videoN, in numeric order, whose card label begins with `prefix`.
std::vector<std::string> findVideoDevicesByLabelPrefix(const std::string& prefix);
// The card label of a video device; empty when it is not one.
std::string videoDeviceLabel(const std::string& path);

// The picture size a video device takes for output now; nothing when it is
// no video device or does not say.
std::optional<PictureSize> videoDeviceOutputSize(const std::string& path);

// A v4l2loopback device fed through write(): the output format is set on
// open and again when the channel's size changes, and every write is one
// picture. A device that refuses the new size (a program is reading it)
// keeps the old one, is given pictures scaled to it, and says so once on
// standard error.
class LoopbackDevice : public FrameSink {
public:
    LoopbackDevice() = default;
    ~LoopbackDevice() override;
    LoopbackDevice(const LoopbackDevice&) = delete;
    LoopbackDevice& operator=(const LoopbackDevice&) = delete;

    // Opens the device for writing and sets width x height in `format`. On
    // failure returns false and says why in `error`.
    bool open(const std::string& path, OutputFormat format, int width, int height,
              std::string* error);
    OutputFormat format() const override { return format_; }
    PictureSize size() const override { return size_; }
    void follow(const PictureMode& mode) override;
    bool write(const uint8_t* data, size_t size) override;

private:
    // Sets the output format at `size`; the errno of a refusal, or EBUSY
    // when the device kept another size.
    int setFormat(PictureSize size);

    int fd_ = -1;
    std::string path_;
    OutputFormat format_ = OutputFormat::Yuyv;
    PictureSize size_;
    bool noted_ = false;
};
