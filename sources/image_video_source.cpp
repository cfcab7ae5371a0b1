#include "sources/image_video_source.h"

#include <QImage>
#include <QImageReader>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "base/debug_log.h"
#include "base/video_frame.h"

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
    cv::Mat scaled;
    if (image.width() != Width() || image.height() != Height()) {
        cv::resize(topFirst, scaled, cv::Size(Width(), Height()), 0, 0, cv::INTER_LINEAR);
    } else {
        scaled = topFirst;
    }
    cv::Mat bottomFirst;
    cv::flip(scaled, bottomFirst, 0);
    PushFrame(bottomFirst.ptr<uint8_t>(), bottomFirst.total() * bottomFirst.elemSize());
}
