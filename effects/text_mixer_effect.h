#pragma once

#include <memory>

#include "engine/video_effect.h"

class TextEffect32;

// The caption: a line of text drawn over every frame after every other
// effect. The overlay library's object is made with the effect; the panel
// configures it through textEffect() before adding the effect to the chain,
// and may change its scroll settings while it runs (the library guards that).
class TextMixerEffect : public VideoEffect {
public:
    // For pictures of width x height (the standard 640 x 480 unless given).
    explicit TextMixerEffect(int32_t width = VideoFrame::kWidth,
                             int32_t height = VideoFrame::kHeight);
    ~TextMixerEffect() override;

    void Process(uint8_t* data, size_t size, int32_t width, int32_t height) override;
    TextEffect32* textEffect() const { return text_.get(); }

private:
    std::unique_ptr<TextEffect32> text_;
};
