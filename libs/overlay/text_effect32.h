#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>

#include "libs/overlay/overlay_image.h"

// The caption's text, font, size and colour. The two texts are UTF-16 and
// NUL-terminated; the library copies them, so they need not outlive the call.
struct TextParamInfo {
    uint32_t clrText = 0xFF000000;  // ARGB
    const char16_t* szText = nullptr;
    int32_t point = 20;
    const char16_t* szFont = nullptr;
};

// How the caption sits and moves.
struct TextScrollInfo {
    int32_t offset = 0;   // starting shift of the text, in pixels
    int32_t spacing = 0;  // the panel passes 5; kept for the record's layout, not used
    int32_t speed = 30;   // pixels per second while scrolling
    uint32_t clrBk = 0;   // background band colour, ARGB
    bool useBk = true;    // draw the background band
    int32_t pos = 0;      // 0 top of the picture, 1 bottom, 2 middle
    int32_t direct = 1;   // 1 still, 0 scrolling to the right, 2 to the left
};

// Draws a one-line caption onto frames, on a band across the picture (with a
// coloured background when useBk), still and centred or scrolling with
// seamless wrap-around. Text is rendered only when the parameters change, on
// the caller's thread; process only composites.
//
// Threads: setTextParam and setTextScroll come from the user-interface
// thread and may be called while the graph's worker runs process; a lock
// held only to swap in, or to take, the prepared pictures keeps them apart,
// so neither side waits for the other's drawing. Rendering needs the application's QGuiApplication.
class TextEffect32 {
public:
    TextEffect32(int width, int height);
    ~TextEffect32();
    TextEffect32(const TextEffect32&) = delete;
    TextEffect32& operator=(const TextEffect32&) = delete;

    void setTextScroll(const TextScrollInfo* scroll);
    void setTextParam(const TextParamInfo* param);
    void process(char* data, int size);

    // The caption's horizontal position on the picture at `elapsed` since
    // the scroll settings took effect (tests and benchmarks).
    int32_t textLeftAt(std::chrono::milliseconds elapsed) const;
    // Where process would draw it now.
    int32_t textLeftNow() const;

private:
    struct Caption;
    struct Settings;
    void rebuild(bool restartScroll);
    int32_t leftAt(const Caption& caption, std::chrono::milliseconds elapsed) const;

    const int width_;
    const int height_;
    std::unique_ptr<Settings> settings_;  // user-interface thread only

    mutable std::mutex lock_;  // guards the hand-over of caption_ and the scroll timing below
    std::shared_ptr<const Caption> caption_;
    std::chrono::steady_clock::time_point scrollStart_;
};
