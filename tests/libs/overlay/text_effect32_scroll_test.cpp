// A scrolling caption keeps its place when only its looks change, and starts
// over when its movement or its text does.

#include <gtest/gtest.h>

#include <QGuiApplication>

#include <chrono>
#include <string>

#include "libs/overlay/text_effect32.h"
#include "tests/support/eventually.h"
#include "tests/support/offscreen_application.h"

namespace {
using namespace std::chrono_literals;
}  // namespace

TEST(TextEffect32ScrollTest, ColourAndTransparencyChangesKeepTheScrollPosition) {
    auto app = makeOffscreenApplication<QGuiApplication>();
    TextEffect32 caption(640, 480);
    std::u16string text = u"滚动字幕";
    TextParamInfo param;
    param.szText = text.c_str();
    param.clrText = 0xFFFFFFFF;
    caption.setTextParam(&param);
    TextScrollInfo scroll;
    scroll.direct = 0;  // to the right, 100 px a second: no wrap for seconds
    scroll.speed = 100;
    scroll.clrBk = 0x80000000u;
    caption.setTextScroll(&scroll);
    const int32_t start = caption.textLeftNow();
    ASSERT_TRUE(eventually([&] { return caption.textLeftNow() >= start + 20; }, 5s));

    // The transparency slider and the colour pickers.
    scroll.clrBk = 0x40FF0000u;
    scroll.useBk = false;
    caption.setTextScroll(&scroll);
    param.clrText = 0xFF00FF00u;
    caption.setTextParam(&param);
    EXPECT_GE(caption.textLeftNow(), start + 20) << "the caption went on from where it was";

    // A new speed, or a new text, starts it over.
    scroll.speed = 101;
    caption.setTextScroll(&scroll);
    EXPECT_LT(caption.textLeftNow(), start + 20);
    ASSERT_TRUE(eventually([&] { return caption.textLeftNow() >= start + 20; }, 5s));
    std::u16string other = u"新的字幕";
    param.szText = other.c_str();
    caption.setTextParam(&param);
    EXPECT_LT(caption.textLeftNow(), start + 20);
}
