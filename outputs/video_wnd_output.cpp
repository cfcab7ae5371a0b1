#include "outputs/video_wnd_output.h"

#include <QImage>
#include <QMetaObject>
#include <QPainter>

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstring>
#include <utility>

#include "outputs/shrink_by_three.h"

#include "base/video_frame.h"

namespace {
// The graph's pictures leave their fourth byte unused, and often 0 (a picture
// never made, a decoder's padding). Qt takes a Format_RGB32 picture's fourth
// byte as it is: it copies it into the window, where a translucent window (a
// rounded dialog on Wayland) shows a 0 as a hole to what lies behind. So every
// picture kept for painting has its fourth byte set.
constexpr uint32_t kOpaque = 0xFF000000u;

// Copies `height` rows in reverse order, as VideoFrame::CopyFlipped, setting
// each pixel's fourth byte on the way.
void copyFlippedOpaque(const uint8_t* src, uint8_t* dst, uint32_t rowBytes, int32_t height) {
    const size_t pixels = rowBytes / 4;
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* from = src + static_cast<size_t>(height - 1 - y) * rowBytes;
        uint8_t* to = dst + static_cast<size_t>(y) * rowBytes;
        for (size_t x = 0; x < pixels; ++x) {
            uint32_t pixel;
            std::memcpy(&pixel, from + x * 4, 4);
            pixel |= kOpaque;
            std::memcpy(to + x * 4, &pixel, 4);
        }
    }
}

// Sets the fourth byte of every pixel of a 32-bit picture.
void makeOpaque(std::vector<uint8_t>& picture) {
    for (size_t at = 3; at < picture.size(); at += 4) {
        picture[at] = 0xFF;
    }
}

// Black everywhere in `whole` but `window`.
void blackenAround(cv::Mat& whole, const cv::Rect& window) {
    const cv::Scalar black(0, 0, 0, 255);
    whole.rowRange(0, window.y).setTo(black);
    whole.rowRange(window.y + window.height, whole.rows).setTo(black);
    cv::Mat band = whole.rowRange(window.y, window.y + window.height);
    band.colRange(0, window.x).setTo(black);
    band.colRange(window.x + window.width, whole.cols).setTo(black);
}

// Sets the fourth byte of every pixel of `part` (8-bit, four channels).
void makeOpaque(cv::Mat& part) {
    for (int y = 0; y < part.rows; ++y) {
        cv::Vec4b* row = part.ptr<cv::Vec4b>(y);
        for (int x = 0; x < part.cols; ++x) {
            row[x][3] = 0xFF;
        }
    }
}
}  // namespace

void drawImageToDC(const QImage& image, const QRect& target, QPainter& painter) {
    QRect area = target.normalized();
    if (image.isNull() || area.isEmpty()) {
        return;
    }
    if (area.size() == image.size()) {
        painter.drawImage(area.topLeft(), image);  // the exact size: no scaling at all
        return;
    }
    // Shrinking is smoothed, as halftone stretching would; enlarging is plain.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, area.width() < image.width());
    painter.drawImage(area, image);
}

VideoWndOutput::VideoWndOutput(QWidget* window, bool keepTopDownCopy)
    : hasWindow_(window != nullptr), keep_(keepTopDownCopy), window_(window) {
    if (hasWindow_ || keep_) {
        back_.assign(VideoFrame::kSize32, 0);
        makeOpaque(back_);  // black, as the kept picture is before the first frame
        front_ = back_;
        ready_ = back_;
    }
}

VideoWndOutput::~VideoWndOutput() = default;

void VideoWndOutput::OnFrame32(const uint8_t* data, size_t size, int32_t width, int32_t height) {
    if (back_.empty() || size < VideoFrame::Size32(width, height)) {
        return;
    }
    if (width == Width() && height == Height()) {
        copyFlippedOpaque(data, back_.data(), VideoFrame::kRowBytes32, height);
    } else {
        fitIntoBack(data, width, height);
    }
    bool repaint = false;
    {
        std::lock_guard<std::mutex> guard(lock_);
        std::swap(back_, ready_);
        fresh_ = true;
        hasFrame_ = true;
        repaint = drawEnabled_ && hasWindow_;
    }
    if (repaint && !repaintPending_.exchange(true) && window_) {
        ++repaintRequests_;
        QMetaObject::invokeMethod(window_, qOverload<>(&QWidget::update), Qt::QueuedConnection);
    }
}

void VideoWndOutput::fitIntoBack(const uint8_t* data, int32_t width, int32_t height) {
    // A larger picture (a high-definition mode) is shown whole: scaled into
    // the preview's 640 x 480 with its proportions kept, black around it.
    // The buffers stay as they were made; nothing is allocated here.
    double scale = std::min(double(Width()) / width, double(Height()) / height);
    int fittedWidth = std::max(1, static_cast<int>(width * scale));
    int fittedHeight = std::max(1, static_cast<int>(height * scale));
    // The graph's pictures come bottom row first and the window paints top
    // down, so the picture is turned over while it is shrunk; its place is
    // where turning the centred picture over would put it.
    int left = (Width() - fittedWidth) / 2;
    int top = Height() - fittedHeight - (Height() - fittedHeight) / 2;
    cv::Mat whole(Height(), Width(), CV_8UC4, back_.data(), VideoFrame::kRowBytes32);
    cv::Rect window(left, top, fittedWidth, fittedHeight);
    blackenAround(whole, window);
    cv::Mat fitted = whole(window);
    cv::Mat picture(height, width, CV_8UC4, const_cast<uint8_t*>(data),
                    VideoFrame::RowBytes(width, 32));
    if (!shrinkByThree(picture, fitted, ShrinkRows::Reversed)) {
        cv::resize(picture, fitted, fitted.size(), 0, 0, cv::INTER_AREA);
        cv::flip(fitted, fitted, 0);
    }
    makeOpaque(fitted);
}

void VideoWndOutput::setDrawEnabled(bool enabled) {
    std::lock_guard<std::mutex> guard(lock_);
    drawEnabled_ = enabled;
}

bool VideoWndOutput::takeLatest(bool* drawEnabled) {
    std::lock_guard<std::mutex> guard(lock_);
    if (fresh_) {
        std::swap(ready_, front_);
        fresh_ = false;
    }
    if (drawEnabled != nullptr) {
        *drawEnabled = drawEnabled_;
    }
    return hasFrame_;
}

QImage VideoWndOutput::frontImage() const {
    return QImage(front_.data(), Width(), Height(), Width() * 4, QImage::Format_RGB32);
}

void VideoWndOutput::paintLatest(QPainter& painter, const QRect& target) {
    repaintPending_ = false;  // later frames ask again
    bool drawEnabled = false;
    bool hasFrame = !front_.empty() && takeLatest(&drawEnabled);
    if (!hasFrame || !drawEnabled) {
        painter.fillRect(target, Qt::black);
        return;
    }
    drawImageToDC(frontImage(), target, painter);
}

bool VideoWndOutput::paintKept(QPainter& painter, QPoint at) {
    if (!keep_) {
        return false;
    }
    takeLatest(nullptr);
    painter.drawImage(at, frontImage());
    return true;
}

VideoWndView::VideoWndView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void VideoWndView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (output_ != nullptr) {
        output_->paintLatest(painter, rect());
    }
}
