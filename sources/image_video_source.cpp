#include "sources/image_video_source.h"

#include <QImage>
#include <QImageReader>

#include <algorithm>
#include <cmath>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "base/debug_log.h"
#include "base/video_frame.h"

namespace {
// Scales the picture as large as it fits without changing its shape and
// draws it centred; the strips left over repeat the picture's outermost
// lines, so the placeholder's dark gradient simply goes on to the frame's
// edges at 16:9 instead of the disc turning into an ellipse.
cv::Mat fitKeepingShape(const cv::Mat& picture, int width, int height) {
    if (picture.cols == width && picture.rows == height) {
        return picture;
    }
    double scale = std::min(static_cast<double>(width) / picture.cols,
                            static_cast<double>(height) / picture.rows);
    int fittedWidth = std::clamp(static_cast<int>(std::lround(picture.cols * scale)), 1, width);
    int fittedHeight = std::clamp(static_cast<int>(std::lround(picture.rows * scale)), 1, height);
    cv::Mat fitted;
    cv::resize(picture, fitted, cv::Size(fittedWidth, fittedHeight), 0, 0, cv::INTER_LINEAR);
    int left = (width - fittedWidth) / 2, top = (height - fittedHeight) / 2;
    cv::Mat framed;
    cv::copyMakeBorder(fitted, framed, top, height - fittedHeight - top, left,
                       width - fittedWidth - left, cv::BORDER_REPLICATE);
    return framed;
}
}  // namespace

ImageVideoSource::ImageVideoSource(const QString& path) : path_(path) { decode(path); }

void ImageVideoSource::SetFrameSize(int32_t width, int32_t height) {
    if (width == Width() && height == Height()) {
        return;
    }
    VideoSource::SetFrameSize(width, height);
    decode(path_);
}

int32_t ImageVideoSource::Start() {
    running_ = true;
    return 0;
}

void ImageVideoSource::Stop() { running_ = false; }

void ImageVideoSource::decode(const QString& path) {
    QImageReader reader(path);
    reader.setAutoTransform(true);  // honour EXIF orientation
    QImage image = reader.read();
    if (image.isNull()) {
        debugLog("ImageVideoSource, cannot decode %s: %s", qPrintable(path),
                 qPrintable(reader.errorString()));
        return;
    }
    image = image.convertToFormat(QImage::Format_RGB32);  // B, G, R, 0xFF in memory
    cv::Mat topFirst(image.height(), image.width(), CV_8UC4, image.bits(),
                     static_cast<size_t>(image.bytesPerLine()));
    cv::Mat scaled = fitKeepingShape(topFirst, Width(), Height());
    cv::Mat bottomFirst;
    cv::flip(scaled, bottomFirst, 0);
    PushFrame(bottomFirst.ptr<uint8_t>(), bottomFirst.total() * bottomFirst.elemSize());
}
