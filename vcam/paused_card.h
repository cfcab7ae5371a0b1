#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/language.h"
#include "vcam/camera_label.h"

// The picture consumers see while no writer runs: the last picture, dimmed,
// with the camera's name and a short hint that it is paused, so that a
// browser or chat program shows why the camera stands still instead of a
// frozen or vanished camera. The text is drawn with FreeType in a CJK font
// that fontconfig finds; without one the picture is only dimmed.
class PausedCard {
public:
    static constexpr const char* kTitle = kCameraLabel;
    // The hint in either language: the camera's name stays as it is.
    static const char* hint(Language language);

    // The hint in the language Lumora speaks (programLanguage()).
    PausedCard() : PausedCard(programLanguage()) {}
    explicit PausedCard(Language language);
    ~PausedCard();
    PausedCard(const PausedCard&) = delete;
    PausedCard& operator=(const PausedCard&) = delete;

    bool hasFont() const { return !fontPath_.empty(); }

    // Paints the card from `picture` (24-bit B, G, R, bottom row first,
    // width x height, rows of rowBytes) into `card` of the same layout.
    void paint(const uint8_t* picture, size_t rowBytes, int width, int height, uint8_t* card);

private:
    void drawLine(const std::string& text, int pixelSize, int baseline, size_t rowBytes, int width,
                  int height, uint8_t* card);

    const char* hint_;
    std::string fontPath_;
    int fontIndex_ = 0;
    void* library_ = nullptr;  // FT_Library
    void* face_ = nullptr;     // FT_Face
};
