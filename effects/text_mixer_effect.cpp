#include "effects/text_mixer_effect.h"

#include "libs/overlay/text_effect32.h"

TextMixerEffect::TextMixerEffect()
    : VideoEffect(EFFECT_ORDER_TEXT),
      text_(std::make_unique<TextEffect32>(VideoFrame::kWidth, VideoFrame::kHeight)) {}

TextMixerEffect::~TextMixerEffect() = default;

void TextMixerEffect::Process(uint8_t* data, size_t size, int32_t, int32_t) {
    text_->process(reinterpret_cast<char*>(data), static_cast<int>(size));
}
