#include "effects/text_mixer_effect.h"

#include "libs/overlay/text_effect32.h"

TextMixerEffect::TextMixerEffect(int32_t width, int32_t height)
    : VideoEffect(EFFECT_ORDER_TEXT), text_(std::make_unique<TextEffect32>(width, height)) {
    SetPictureSize(width, height);
}

TextMixerEffect::~TextMixerEffect() = default;

void TextMixerEffect::Process(uint8_t* data, size_t size, int32_t width, int32_t height) {
    // The caption is laid out for its own picture size; on another size it
    // stays away rather than be drawn with the wrong row length.
    if (width != Width() || height != Height()) {
        return;
    }
    text_->process(reinterpret_cast<char*>(data), static_cast<int>(size));
}
