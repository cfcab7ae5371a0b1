#include "libs/overlay/pic_effect32.h"

#include <QImage>
#include <QImageReader>
#include <QString>

#include <algorithm>

#include "base/debug_log.h"

namespace {
// Frames too quick to see are shown for 100 ms, as browsers do.
constexpr int kShortestDelayMs = 20;
constexpr int kDefaultDelayMs = 100;
// At most this many bytes of prepared frames; a longer animation is cut.
constexpr size_t kFrameBudgetBytes = 96u << 20;
constexpr int kStandardHeight = 480;

// The pendant is drawn as large against the picture's height as on the
// standard 480 lines; a frame larger than the picture is then scaled down to
// fit, keeping its proportions.
OverlayImage prepare(QImage frame, int width, int height) {
    if (height != kStandardHeight) {
        frame = frame.scaledToHeight(std::max(1, frame.height() * height / kStandardHeight),
                                     Qt::SmoothTransformation);
    }
    if (frame.width() > width || frame.height() > height) {
        return overlayFromImage(
            frame.scaled(width, height, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    }
    return overlayFromImage(frame);
}
}  // namespace

PicEffect32::PicEffect32(const wchar_t* path, int width, int height)
    : width_(width), height_(height) {
    load(path);
}

PicEffect32::~PicEffect32() = default;

void PicEffect32::load(const wchar_t* path) {
    QString file = path != nullptr ? QString::fromWCharArray(path) : QString();
    QImageReader reader(file);
    reader.setDecideFormatFromContent(true);
    size_t bytes = 0;
    int64_t elapsed = 0;
    QImage frame;
    while (reader.read(&frame)) {
        OverlayImage image = prepare(frame, width_, height_);
        bytes += image.pixels.size() * sizeof(uint32_t);
        if (bytes > kFrameBudgetBytes) {
            debugLog("PicEffect32, %s is too long; the animation is cut", qPrintable(file));
            break;
        }
        int delay = reader.nextImageDelay();
        elapsed += delay >= kShortestDelayMs ? delay : kDefaultDelayMs;
        frameEnds_.push_back(elapsed);
        frames_.push_back(std::move(image));
        if (!reader.supportsAnimation()) {
            break;
        }
    }
    if (frames_.empty()) {
        debugLog("PicEffect32, cannot read %s: %s", qPrintable(file),
                 qPrintable(reader.errorString()));
        return;
    }
    left_ = (width_ - frames_.front().width) / 2;
    top_ = (height_ - frames_.front().height) / 2;
}

void PicEffect32::setMethod(int method) { method_ = method; }

void PicEffect32::setSpeed(float speed) { speed_ = speed > 0.0f ? speed : 1.0f; }

int PicEffect32::frameAt(std::chrono::milliseconds elapsed) const {
    if (frames_.size() < 2) {
        return 0;
    }
    int64_t at = elapsed.count() % frameEnds_.back();
    auto next = std::upper_bound(frameEnds_.begin(), frameEnds_.end(), at);
    return static_cast<int>(next - frameEnds_.begin());
}

void PicEffect32::process(char* data, int size) {
    if (frames_.empty() || data == nullptr ||
        size < static_cast<int>(static_cast<int64_t>(width_) * height_ * 4)) {
        return;
    }
    auto now = std::chrono::steady_clock::now();
    if (!started_) {
        start_ = now;
        started_ = true;
    }
    auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::duration<double, std::milli>(now - start_) * speed_);
    const OverlayImage& frame = frames_[static_cast<size_t>(frameAt(elapsed))];
    // Every frame of a GIF has the file's size, so one placement serves all.
    compositeOverlay(frame, left_, top_, reinterpret_cast<uint8_t*>(data), width_, height_);
}
