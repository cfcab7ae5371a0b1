#include "bench/bench_caption.h"

#include "libs/overlay/text_effect32.h"

std::unique_ptr<TextMixerEffect> makeBenchCaption(int32_t width, int32_t height,
                                                  const char16_t* text, uint32_t background,
                                                  uint32_t colour, int point) {
    auto caption = std::make_unique<TextMixerEffect>(width, height);
    static const std::u16string font = u"Noto Sans CJK SC";
    TextScrollInfo scroll;
    scroll.clrBk = background;
    scroll.pos = 1;
    scroll.direct = 2;
    scroll.speed = 30;
    TextParamInfo param;
    param.szText = text;
    param.szFont = font.c_str();
    param.clrText = colour;
    param.point = point;
    caption->textEffect()->setTextScroll(&scroll);
    caption->textEffect()->setTextParam(&param);
    return caption;
}
