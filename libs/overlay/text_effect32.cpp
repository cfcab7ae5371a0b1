#include "libs/overlay/text_effect32.h"

#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QString>

#include "base/debug_log.h"

namespace {
constexpr int kPadding = 6;     // around the text inside its band
constexpr int kEdgeMargin = 8;  // between the band and the picture's edge
constexpr int kStandardHeight = 480;
constexpr int kWrapGap = 60;  // between the end of a scrolling text and its next start

QColor fromArgb(uint32_t argb) {
    return QColor(static_cast<int>((argb >> 16) & 0xFF), static_cast<int>((argb >> 8) & 0xFF),
                  static_cast<int>(argb & 0xFF), static_cast<int>(argb >> 24));
}

}  // namespace

// What process needs: the prepared pictures and where they go.
struct TextEffect32::Caption {
    OverlayImage band;  // the background across the picture, may be empty
    OverlayImage text;
    int32_t top = 0;
    int32_t stillLeft = 0;
    int32_t period = 0;  // scrolling: the text repeats every `period` pixels
    int32_t speed = 0;
    int32_t direction = 1;
    int32_t offset = 0;
};

struct TextEffect32::Settings {
    QString text;
    QString family;
    int32_t point = 20;
    uint32_t textColour = 0xFF000000;
    TextScrollInfo scroll;
};

TextEffect32::TextEffect32(int width, int height)
    : width_(width),
      height_(height),
      settings_(std::make_unique<Settings>()),
      scrollStart_(std::chrono::steady_clock::now()) {}

TextEffect32::~TextEffect32() = default;

namespace {
// Whether the caption's movement changes: only then does it start over. A
// change of colour, band or transparency keeps a scrolling caption where it is.
bool movementChanges(const TextScrollInfo& before, const TextScrollInfo& after) {
    return before.offset != after.offset || before.speed != after.speed ||
           before.direct != after.direct;
}
}  // namespace

void TextEffect32::setTextScroll(const TextScrollInfo* scroll) {
    if (scroll != nullptr) {
        bool restart = movementChanges(settings_->scroll, *scroll);
        settings_->scroll = *scroll;
        rebuild(restart);
    }
}

void TextEffect32::setTextParam(const TextParamInfo* param) {
    if (param == nullptr) {
        return;
    }
    QString text = param->szText ? QString::fromUtf16(param->szText) : QString();
    bool restart = text != settings_->text;  // a new caption starts from its beginning
    settings_->text = text;
    settings_->family = param->szFont ? QString::fromUtf16(param->szFont) : QString();
    settings_->point = param->point > 0 ? param->point : 20;
    settings_->textColour = param->clrText;
    rebuild(restart);
}

void TextEffect32::rebuild(bool restartScroll) {
    auto caption = std::make_shared<Caption>();
    const Settings& s = *settings_;
    if (!s.text.isEmpty() && qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        // The caption is as large against the picture's height as on the
        // standard 480 lines: the point size and the spacing grow with it.
        const int padding = kPadding * height_ / kStandardHeight;
        QFont font(s.family);
        font.setPointSize(std::max(1, std::min(s.point, 200) * height_ / kStandardHeight));
        QFontMetrics metrics(font);
        int bandHeight = std::min(metrics.height() + 2 * padding, height_);
        QImage text(std::max(1, metrics.horizontalAdvance(s.text) + 2 * padding), bandHeight,
                    QImage::Format_ARGB32_Premultiplied);
        text.fill(Qt::transparent);
        QPainter painter(&text);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.setFont(font);
        painter.setPen(fromArgb(s.textColour));
        painter.drawText(QRect(0, 0, text.width(), bandHeight), Qt::AlignCenter, s.text);
        painter.end();
        caption->text = overlayFromImage(text);
        if (s.scroll.useBk) {
            QImage band(width_, bandHeight, QImage::Format_ARGB32);
            band.fill(fromArgb(s.scroll.clrBk));
            caption->band = overlayFromImage(band);
        }
        int32_t pos = s.scroll.pos;
        caption->top = pos == 0   ? kEdgeMargin
                       : pos == 2 ? (height_ - bandHeight) / 2
                                  : height_ - bandHeight - kEdgeMargin * height_ / kStandardHeight;
        caption->top = std::clamp(caption->top, 0, height_ - bandHeight);
        caption->stillLeft = (width_ - caption->text.width) / 2;
        caption->period = std::max(width_, caption->text.width + kWrapGap);
        caption->speed = s.scroll.speed;
        caption->direction = s.scroll.direct;
        caption->offset = s.scroll.offset;
    } else if (!s.text.isEmpty()) {
        debugLog("TextEffect32, no graphical application: the caption cannot be drawn");
    }
    std::lock_guard<std::mutex> guard(lock_);
    caption_ = std::move(caption);
    if (restartScroll) {
        scrollStart_ = std::chrono::steady_clock::now();
    }
}

int32_t TextEffect32::leftAt(const Caption& caption, std::chrono::milliseconds elapsed) const {
    if (caption.direction == 1) {
        return caption.stillLeft;
    }
    int64_t travelled =
        caption.offset + static_cast<int64_t>(caption.speed) * elapsed.count() / 1000;
    int64_t shift = ((travelled % caption.period) + caption.period) % caption.period;
    // To the right the text enters at the left edge; to the left at the right edge.
    return caption.direction == 0 ? static_cast<int32_t>(shift - caption.text.width)
                                  : static_cast<int32_t>(width_ - shift);
}

int32_t TextEffect32::textLeftAt(std::chrono::milliseconds elapsed) const {
    std::lock_guard<std::mutex> guard(lock_);
    return caption_ && caption_->period > 0 ? leftAt(*caption_, elapsed) : 0;
}

int32_t TextEffect32::textLeftNow() const {
    std::lock_guard<std::mutex> guard(lock_);
    auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - scrollStart_);
    return caption_ && caption_->period > 0 ? leftAt(*caption_, elapsed) : 0;
}

void TextEffect32::process(char* data, int size) {
    if (data == nullptr || size < width_ * height_ * 4) {
        return;
    }
    // Only the hand-over of the prepared caption is under the lock, so a
    // settings change never waits behind a composite, however busy the
    // drawing thread; the caption taken stays alive until this frame is done.
    std::shared_ptr<const Caption> caption;
    std::chrono::steady_clock::time_point scrollStart;
    {
        std::lock_guard<std::mutex> guard(lock_);
        caption = caption_;
        scrollStart = scrollStart_;
    }
    if (!caption || caption->text.empty()) {
        return;
    }
    auto* frame = reinterpret_cast<uint8_t*>(data);
    if (!caption->band.empty()) {
        compositeOverlay(caption->band, 0, caption->top, frame, width_, height_);
    }
    if (caption->direction == 1) {
        compositeOverlay(caption->text, caption->stillLeft, caption->top, frame, width_, height_);
        return;
    }
    auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - scrollStart);
    int32_t left = leftAt(*caption, elapsed);
    // Drawing the text once a period to each side makes the wrap seamless.
    for (int32_t x = left - caption->period; x < width_; x += caption->period) {
        if (x + caption->text.width > 0) {
            compositeOverlay(caption->text, x, caption->top, frame, width_, height_);
        }
    }
}
