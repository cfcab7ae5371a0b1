#include "libs/recorder/i420_picture.h"

#include <opencv2/imgproc.hpp>

#include <cstring>

namespace {
// Whether the mapped I420 frame's planes lie one after another with rows of
// the picture's own widths, as OpenCV writes I420.
bool planesAsOpenCvWrites(const GstVideoFrame& frame, int width, int height) {
    const auto* luma = static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0));
    const size_t lumaBytes = static_cast<size_t>(width) * static_cast<size_t>(height);
    return GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0) == width &&
           GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 1) == width / 2 &&
           GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 2) == width / 2 &&
           GST_VIDEO_FRAME_PLANE_DATA(&frame, 1) == luma + lumaBytes &&
           GST_VIDEO_FRAME_PLANE_DATA(&frame, 2) == luma + lumaBytes + lumaBytes / 4;
}
}  // namespace

void I420Picture::setSize(int width, int height) {
    width_ = width;
    height_ = height;
    gst_video_info_set_format(&info_, GST_VIDEO_FORMAT_I420, static_cast<guint>(width),
                              static_cast<guint>(height));
}

bool I420Picture::convert(const uint8_t* uprightBgr, GstBuffer* buffer) {
    GstVideoFrame frame;
    if (!gst_video_frame_map(&frame, &info_, buffer, GST_MAP_WRITE)) {
        return false;
    }
    const cv::Mat picture(height_, width_, CV_8UC3, const_cast<uint8_t*>(uprightBgr));
    if (planesAsOpenCvWrites(frame, width_, height_)) {
        cv::Mat planes(height_ * 3 / 2, width_, CV_8UC1, GST_VIDEO_FRAME_PLANE_DATA(&frame, 0));
        cv::cvtColor(picture, planes, cv::COLOR_BGR2YUV_I420);
    } else {
        cv::cvtColor(picture, scratch_, cv::COLOR_BGR2YUV_I420);
        copyPlanes(frame);
    }
    gst_video_frame_unmap(&frame);
    return true;
}

void I420Picture::copyPlanes(GstVideoFrame& frame) const {
    const uint8_t* source = scratch_.data;
    for (int plane = 0; plane < 3; ++plane) {
        const int scale = plane == 0 ? 1 : 2;
        const size_t rowBytes = static_cast<size_t>(width_ / scale);
        auto* target = static_cast<uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, plane));
        const auto stride = static_cast<size_t>(GST_VIDEO_FRAME_PLANE_STRIDE(&frame, plane));
        for (int y = 0; y < height_ / scale; ++y) {
            std::memcpy(target + static_cast<size_t>(y) * stride, source, rowBytes);
            source += rowBytes;
        }
    }
}
