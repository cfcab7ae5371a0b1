#pragma once

#include <gst/gst.h>
#include <gst/video/video.h>

#include <opencv2/core.hpp>

#include <cstdint>

// Turns upright 24-bit B, G, R pictures into the I420 buffers an H.264
// encoder takes. OpenCV's conversion costs about a quarter of GStreamer's
// generic one for 24-bit input; it writes straight into the buffer when the
// buffer's planes are laid out as OpenCV writes them (every output mode's
// are), through a scratch picture otherwise.
//
// Threads: one converting thread at a time (the scratch is its own).
class I420Picture {
public:
    // Pictures of this size; width and height even.
    void setSize(int width, int height);
    // The I420 buffer size the encoder's pool must hand out.
    gsize bufferSize() const { return GST_VIDEO_INFO_SIZE(&info_); }
    // Converts into `buffer` (of bufferSize); false when it cannot be mapped.
    bool convert(const uint8_t* uprightBgr, GstBuffer* buffer);

private:
    // scratch_ into the mapped frame, row by row.
    void copyPlanes(GstVideoFrame& frame) const;

    int width_ = 0;
    int height_ = 0;
    GstVideoInfo info_{};
    cv::Mat scratch_;
};
