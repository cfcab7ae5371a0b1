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

// A v4l2loopback device fed through write(), every write one picture.
//
// The device is claimed as its writer (VIDIOC_STREAMON on the output queue
// after the format is set): v4l2loopback 0.12 gives a device its output
// capability back on close only to a claimed writer, and a device closed by
// an unclaimed one refuses every later format. Such a spent device is
// revived on open (claim, close, open again). Newer versions claim inside
// write(); the explicit claim does no harm there.
//
// The driver keeps a format for as long as anyone holds the device. A size
// change therefore closes and reopens it; when a reader holds it (or the
// driver keeps its format for reasons of its own) it stays at its size, the
// pictures are letterboxed into it, and it is tried again every few
// seconds.
class LoopbackDevice : public FrameSink {
public:
    // How often a device held at another size is tried again.
    static constexpr int kRetryHeldMs = 3000;

    LoopbackDevice() = default;
    ~LoopbackDevice() override;
    LoopbackDevice(const LoopbackDevice&) = delete;
    LoopbackDevice& operator=(const LoopbackDevice&) = delete;

    // Opens the device for writing at width x height in `format` (or at the
    // size a reader holds it at). On failure returns false and says why in
    // `error`.
    bool open(const std::string& path, OutputFormat format, int width, int height,
              std::string* error);
    OutputFormat format() const override { return format_; }
    PictureSize size() const override { return size_; }
    // The size the channel's pictures have; size() differs while held.
    PictureSize wanted() const { return wanted_; }
    bool held() const { return size_ != wanted_; }
    void follow(const PictureMode& mode) override;
    bool write(const SinkPicture& picture) override;

private:
    // Opens, claims and sets the format at wanted_; the errno of a failure.
    int openAndClaim(std::string* error);
    int setFormat(PictureSize size, PictureSize* taken);
    void release();
    // Closes and opens again at wanted_, as a size change needs.
    bool reopen();
    void noteHeld();

    int fd_ = -1;
    std::string path_;
    OutputFormat format_ = OutputFormat::Yuyv;
    PictureSize size_;
    PictureSize wanted_;
    int64_t lastTryMs_ = 0;
    bool noted_ = false;
};

// Gives a spent v4l2loopback 0.12 device its output capability back: a
// claim as its writer, then a close. True when the device was opened.
bool reviveLoopbackDevice(const std::string& path);
