#include "outputs/video_wnd_output.h"

#include <QImage>
#include <QMetaObject>
#include <QPainter>

#include <cstring>

#include "engine/video_frame.h"

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

VideoWndOutput::VideoWndOutput(QWidget* window, bool keepTopDownCopy) : window_(window) {
    if (window != nullptr) {
        shown_.assign(VideoFrame::kSize32, 0);
    }
    if (keepTopDownCopy) {
        topDown_.assign(VideoFrame::kSize32, 0);
    }
}

VideoWndOutput::~VideoWndOutput() = default;

void VideoWndOutput::OnFrame32(const uint8_t* data, size_t size, int32_t width, int32_t height) {
    // Only the picture size the copies were made for is kept.
    if (width != Width() || height != Height() || size < VideoFrame::kSize32) {
        return;
    }
    bool repaint = false;
    {
        std::lock_guard<std::mutex> guard(lock_);
        // While drawing, the window's copy is the kept copy too: one flip a
        // frame, not two.
        if (drawEnabled_ && !shown_.empty()) {
            VideoFrame::CopyFlipped(data, shown_.data(), VideoFrame::kRowBytes32, height);
            hasFrame_ = true;
            repaint = true;
            keptInShown_ = true;
        } else if (!topDown_.empty()) {
            VideoFrame::CopyFlipped(data, topDown_.data(), VideoFrame::kRowBytes32, height);
            keptInShown_ = false;
        }
    }
    if (repaint && !repaintPending_.exchange(true) && window_) {
        ++repaintRequests_;
        QMetaObject::invokeMethod(window_, qOverload<>(&QWidget::update), Qt::QueuedConnection);
    }
}

void VideoWndOutput::setDrawEnabled(bool enabled) {
    std::lock_guard<std::mutex> guard(lock_);
    drawEnabled_ = enabled;
}

const uint8_t* VideoWndOutput::topDownPixels() const {
    if (topDown_.empty()) {
        return nullptr;
    }
    return keptInShown_ ? shown_.data() : topDown_.data();
}

void VideoWndOutput::paintLatest(QPainter& painter, const QRect& target) {
    repaintPending_ = false;  // later frames ask again
    std::lock_guard<std::mutex> guard(lock_);
    if (!hasFrame_ || !drawEnabled_) {
        painter.fillRect(target, Qt::black);
        return;
    }
    QImage picture(shown_.data(), Width(), Height(), Width() * 4, QImage::Format_RGB32);
    drawImageToDC(picture, target, painter);
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
