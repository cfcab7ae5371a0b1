#pragma once

#include <QPoint>
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
// the output also keeps the picture for a widget that paints it itself
// (paintKept) while drawing is turned off. What it paints is opaque whatever
// the frames' unused fourth byte holds, so a translucent window shows nothing
// of what lies behind the picture.
//
// Threads: OnFrame32 on the graph's worker; everything else on the
// user-interface thread. Pictures pass through three buffers: the worker
// fills its own and swaps it with the newest finished one, the window swaps
// that with the one it paints. The lock is held for the swaps only, so a slow
// paint never holds up the worker (and with it the other outputs).
class VideoWndOutput : public VideoOutput {
public:
    // window may be null: then nothing is drawn (a kept picture is still made).
    VideoWndOutput(QWidget* window, bool keepTopDownCopy);
    ~VideoWndOutput() override;

    void OnFrame32(const uint8_t* data, size_t size, int32_t width, int32_t height) override;

    void setDrawEnabled(bool enabled);

    // Paints the latest picture over `target`; for the window's paint event.
    void paintLatest(QPainter& painter, const QRect& target);
    // Paints the latest picture unscaled at `at`, whether drawing is on or
    // off (black before the first); false, painting nothing, when the output
    // keeps no picture.
    bool paintKept(QPainter& painter, QPoint at);
    // Frames that asked the window for a repaint (tests).
    uint64_t repaintRequests() const { return repaintRequests_.load(); }

private:
    // Brings the newest finished picture into front_; whether there is one.
    bool takeLatest(bool* drawEnabled);
    QImage frontImage() const;

    const bool hasWindow_;
    const bool keep_;
    QPointer<QWidget> window_;
    // Scales a picture of another size into back_, keeping its proportions.
    void fitIntoBack(const uint8_t* data, int32_t width, int32_t height);

    std::vector<uint8_t> back_;   // the worker's: the frame being copied
    std::vector<uint8_t> front_;  // the user-interface thread's: the one painted
    std::mutex lock_;             // guards the swaps with ready_ and the flags below
    std::vector<uint8_t> ready_;  // the newest finished picture
    bool fresh_ = false;          // ready_ is newer than front_
    bool hasFrame_ = false;
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
