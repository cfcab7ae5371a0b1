#pragma once

#include <QPointer>
#include <QRect>
#include <QWidget>

#include <atomic>
#include <mutex>
#include <vector>

#include "engine/video_output.h"

class QImage;
class QPainter;

// Draws `image` over the whole of `target` (the proportions are not kept):
// unscaled when the sizes match exactly, smoothly scaled when shrinking, and
// stretched otherwise. Nothing for a null image or an empty target.
void drawImageToDC(const QImage& image, const QRect& target, QPainter& painter);

// Shows the composed picture in a widget. The graph's worker never paints: it
// keeps a top-row-first copy of each frame and asks the widget, through a
// queued call, for a repaint; requests made while one is pending are merged.
// The widget (a VideoWndView, or any widget that calls paintLatest from its
// paint event) then draws the latest picture over its whole area. Optionally
// the output also keeps a top-down copy that another widget can paint itself
// while drawing is turned off.
//
// Threads: OnFrame32 on the graph's worker; everything else on the
// user-interface thread. One lock guards the copies and the flag.
class VideoWndOutput : public VideoOutput {
public:
    // window may be null: then nothing is drawn (a kept copy is still made).
    VideoWndOutput(QWidget* window, bool keepTopDownCopy);
    ~VideoWndOutput() override;

    void OnFrame32(const uint8_t* data, size_t size, int32_t width, int32_t height) override;

    void setDrawEnabled(bool enabled);
    void lock() { lock_.lock(); }
    void unlock() { lock_.unlock(); }
    // The kept copy: 640 x 480, 4 bytes a pixel, top row first; null without
    // one. Read it between lock() and unlock().
    const uint8_t* topDownPixels() const;

    // Paints the latest picture over `target`; for the window's paint event.
    void paintLatest(QPainter& painter, const QRect& target);
    // Frames that asked the window for a repaint (tests).
    uint64_t repaintRequests() const { return repaintRequests_.load(); }

private:
    std::mutex lock_;  // guards the two copies and the drawing flag
    QPointer<QWidget> window_;
    std::vector<uint8_t> shown_;    // what the window paints, top row first
    std::vector<uint8_t> topDown_;  // the kept copy, when asked for
    bool hasFrame_ = false;
    bool keptInShown_ = false;  // the newest frame went to shown_ only
    bool drawEnabled_ = true;
    std::atomic<bool> repaintPending_{false};
    std::atomic<uint64_t> repaintRequests_{0};
};

// The widget the preview draws into: paints its output's latest picture.
class VideoWndView : public QWidget {
public:
    explicit VideoWndView(QWidget* parent = nullptr);
    void setOutput(VideoWndOutput* output) { output_ = output; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    VideoWndOutput* output_ = nullptr;
};
