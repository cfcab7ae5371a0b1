// The caption's settings change on the user-interface thread while the graph's
// worker draws it; this runs both at once (and under ThreadSanitizer in the
// sanitizer build).

#include <gtest/gtest.h>

#include <QGuiApplication>

#include <atomic>
#include <string>
#include <thread>

#include "libs/overlay/text_effect32.h"
#include "tests/support/offscreen_application.h"
#include "tests/support/test_frames.h"

TEST(TextEffect32ConcurrencyTest, SettingsChangeWhileFramesAreDrawn) {
    auto app = makeOffscreenApplication<QGuiApplication>();

    TextEffect32 caption(640, 480);
    std::u16string text = u"并发字幕";
    TextParamInfo param;
    param.szText = text.c_str();
    param.clrText = 0xFFFFFFFF;
    TextScrollInfo scroll;
    scroll.direct = 2;
    caption.setTextParam(&param);
    caption.setTextScroll(&scroll);

    // The drawing side stops when the changes are done or after a bounded
    // number of frames, whichever comes first: a changer starved by the
    // drawing loop shows as few frames being enough, never as a hang.
    constexpr int kMaxFrames = 20000;
    std::atomic<bool> drawing{true};
    std::atomic<int> drawn{0};
    std::thread worker([&] {
        auto frame = makeSolidFrame32(20, 20, 20);
        while (drawing && drawn < kMaxFrames) {
            caption.process(reinterpret_cast<char*>(frame.data()), static_cast<int>(frame.size()));
            ++drawn;
        }
    });
    for (int change = 0; change < 60; ++change) {
        scroll.direct = change % 3;
        scroll.useBk = change % 2 == 0;
        scroll.clrBk = 0x80000000u | static_cast<uint32_t>(change);
        caption.setTextScroll(&scroll);
        if (change % 10 == 0) {
            param.point = 16 + change / 10;
            caption.setTextParam(&param);
        }
    }
    drawing = false;
    worker.join();
    EXPECT_GT(drawn.load(), 0);

    // The last settings are the ones in force.
    auto frame = makeSolidFrame32(20, 20, 20);
    caption.process(reinterpret_cast<char*>(frame.data()), static_cast<int>(frame.size()));
    EXPECT_NE(frame, makeSolidFrame32(20, 20, 20));
}
