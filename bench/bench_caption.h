#pragma once

#include <cstdint>
#include <memory>

#include "effects/text_mixer_effect.h"

// A caption as the caption panel makes one: the text in Noto Sans CJK SC,
// on a band of the background colour at the bottom, scrolling to the left.
// The text must outlive the effect.
std::unique_ptr<TextMixerEffect> makeBenchCaption(int32_t width, int32_t height,
                                                  const char16_t* text, uint32_t background,
                                                  uint32_t colour, int point);
