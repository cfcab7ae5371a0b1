#include <gtest/gtest.h>

#include <QGuiApplication>

#include <filesystem>
#include <fstream>
#include <thread>

#include "effects/gif_mixer_effect.h"
#include "effects/text_mixer_effect.h"
#include "libs/overlay/pic_effect32.h"
#include "libs/overlay/text_effect32.h"
#include "tests/support/log_capture.h"
#include "tests/support/offscreen_application.h"
#include "tests/support/test_components.h"
#include "tests/support/test_frames.h"
#include "tests/support/test_media.h"
#include "tools/pendant_art/gif_writer.h"

namespace {
using namespace std::chrono_literals;

// Text needs a graphical application; the offscreen platform is enough.
const auto* const g_gui =
    ::testing::AddGlobalTestEnvironment(new OffscreenApplication<QGuiApplication>);

// The pixel at picture position (x, y), y = 0 the top line.
const uint8_t* at(const std::vector<uint8_t>& frame, int x, int y) {
    return frame.data() + (static_cast<size_t>(479 - y) * 640 + x) * 4;
}

// Wide paths as the panel makes them, from Qt's UTF-16 (the C library's
// locale may not know UTF-8).
std::wstring wide(const std::string& path) { return QString::fromStdString(path).toStdWString(); }

// Two frames of 200 x 100, 100 ms each: first the left half red and the right
// half transparent, then all blue.
std::string makeTwoFrameGif(const ScratchDir& dir) {
    GifWriter writer({QColor(255, 0, 0), QColor(0, 0, 255)}, 100);
    QImage first(200, 100, QImage::Format_ARGB32);
    first.fill(Qt::transparent);
    for (int y = 0; y < 100; ++y) {
        for (int x = 0; x < 100; ++x) {
            first.setPixelColor(x, y, QColor(255, 0, 0));
        }
    }
    QImage second(200, 100, QImage::Format_ARGB32);
    second.fill(QColor(0, 0, 255));
    writer.addFrame(first);
    writer.addFrame(second);
    QString error;
    std::string path = dir.file("two.gif");
    EXPECT_TRUE(writer.save(QString::fromStdString(path), &error)) << error.toStdString();
    return path;
}
}  // namespace

TEST(GifMixerEffectTest, TheGifIsDecodedWhenChosenAndTransparencyShowsThrough) {
    ScratchDir dir;
    GifMixerEffect pendant(wide(makeTwoFrameGif(dir)));
    EXPECT_EQ(pendant.Order(), EFFECT_ORDER_DEFAULT);
    ASSERT_TRUE(pendant.hasLibraryObject()) << "decoded when chosen, not at the first frame";
    PicEffect32* made = pendant.libraryObject();
    EXPECT_EQ(made->frameCount(), 2) << "every frame decoded before the graph sees it";

    const auto grey = makeSolidFrame32(90, 90, 90);
    auto frame = grey;
    pendant.Process(frame.data(), frame.size(), 640, 480);
    // Centred: picture columns 220..419, lines 190..289.
    EXPECT_EQ(at(frame, 230, 200)[2], 255) << "opaque red";
    EXPECT_EQ(at(frame, 230, 200)[0], 0);
    EXPECT_EQ(at(frame, 400, 200)[0], 90) << "transparent: untouched";
    EXPECT_EQ(at(frame, 219, 200)[0], 90) << "outside: untouched";
    EXPECT_EQ(at(frame, 230, 189)[0], 90);
    EXPECT_EQ(at(frame, 230, 290)[0], 90);
    EXPECT_EQ(at(frame, 230, 200)[3], 0xEE) << "the fourth byte is the frame's own";

    pendant.Process(frame.data(), frame.size(), 640, 480);
    EXPECT_EQ(pendant.libraryObject(), made) << "made once";
}

TEST(GifMixerEffectTest, TheAnimationFollowsTheClockTimesTheSpeed) {
    ScratchDir dir;
    PicEffect32 picture(wide(makeTwoFrameGif(dir)).c_str(), 640, 480);
    EXPECT_EQ(picture.frameAt(0ms), 0);
    EXPECT_EQ(picture.frameAt(99ms), 0);
    EXPECT_EQ(picture.frameAt(100ms), 1);
    EXPECT_EQ(picture.frameAt(250ms), 0) << "it loops";

    // The clock starts with the first picture drawn, which is the first frame
    // (transparent there); as the clock goes on, the second, all blue frame
    // shows, then the first again.
    auto pixelShown = [&picture] {
        auto frame = makeSolidFrame32(90, 90, 90);
        picture.process(reinterpret_cast<char*>(frame.data()), static_cast<int>(frame.size()));
        return at(frame, 400, 200)[0];
    };
    EXPECT_EQ(pixelShown(), 90);
    EXPECT_TRUE(eventually([&] { return pixelShown() == 255; })) << "the second, all blue frame";
    EXPECT_TRUE(eventually([&] { return pixelShown() == 90; })) << "and round again";
}

TEST(GifMixerEffectTest, LargePendantsAreFittedAndBadFilesChangeNothing) {
    ScratchDir dir;
    GifWriter big({QColor(0, 200, 0)}, 100);
    QImage green(1280, 720, QImage::Format_ARGB32);
    green.fill(QColor(0, 200, 0));
    big.addFrame(green);
    QString error;
    ASSERT_TRUE(big.save(QString::fromStdString(dir.file("big.gif")), &error));
    PicEffect32 fitted(wide(dir.file("big.gif")).c_str(), 640, 480);
    auto frame = makeSolidFrame32(90, 90, 90);
    fitted.process(reinterpret_cast<char*>(frame.data()), static_cast<int>(frame.size()));
    // 1280 x 720 fits as 640 x 360, centred: lines 60..419.
    EXPECT_EQ(at(frame, 0, 60)[1], 200);
    EXPECT_EQ(at(frame, 639, 419)[1], 200);
    EXPECT_EQ(at(frame, 320, 59)[1], 90);
    EXPECT_EQ(at(frame, 320, 420)[1], 90);

    std::ofstream(dir.file("corrupt.gif")) << "GIF89a but nothing after";
    LogCapture log;
    for (const char* name : {"corrupt.gif", "missing.gif"}) {
        GifMixerEffect broken(wide(dir.file(name)));
        const auto grey = makeSolidFrame32(90, 90, 90);
        auto untouched = grey;
        broken.Process(untouched.data(), untouched.size(), 640, 480);
        broken.Process(untouched.data(), untouched.size(), 640, 480);
        EXPECT_EQ(untouched, grey) << name;
    }
    EXPECT_EQ(log.lines().size(), 2u);
}

TEST(GifMixerEffectTest, TheShippedPendantsLeaveTheFaceClear) {
    std::filesystem::path folder = std::filesystem::path(LUMORA_SOURCE_DIR) / "skin/effect/挂件";
    int pendants = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        PicEffect32 pendant(wide(entry.path().string()).c_str(), 640, 480);
        EXPECT_GE(pendant.frameCount(), 8) << entry.path();
        auto frame = makeSolidFrame32(90, 90, 90);
        pendant.process(reinterpret_cast<char*>(frame.data()), static_cast<int>(frame.size()));
        EXPECT_EQ(at(frame, 320, 260)[0], 90) << "the middle stays clear: " << entry.path();
        EXPECT_NE(frame, makeSolidFrame32(90, 90, 90)) << "something shows: " << entry.path();
        ++pendants;
    }
    EXPECT_GE(pendants, 6);
}

namespace {
TextMixerEffect* makeCaption(const std::u16string& text, bool background, int32_t direction,
                             int32_t width = 640, int32_t height = 480) {
    auto* caption = new TextMixerEffect(width, height);
    TextScrollInfo scroll;
    scroll.clrBk = 0xFF000000;  // opaque black
    scroll.useBk = background;
    scroll.pos = 1;
    scroll.direct = direction;
    scroll.speed = 30;
    TextParamInfo param;
    param.clrText = 0xFFFFFFFF;
    param.szText = text.c_str();
    param.point = 20;
    static const std::u16string family = u"Noto Sans CJK SC";
    param.szFont = family.c_str();
    caption->textEffect()->setTextScroll(&scroll);
    caption->textEffect()->setTextParam(&param);
    return caption;
}

// Picture lines that differ from the plain grey picture.
std::vector<int> changedLines(const std::vector<uint8_t>& frame) {
    std::vector<int> lines;
    for (int y = 0; y < 480; ++y) {
        for (int x = 0; x < 640; ++x) {
            if (at(frame, x, y)[0] != 128) {
                lines.push_back(y);
                break;
            }
        }
    }
    return lines;
}
}  // namespace

TEST(TextMixerEffectTest, AStillCaptionSitsInABandAtTheBottomOfThePicture) {
    std::unique_ptr<TextMixerEffect> caption(makeCaption(u"直播开始啦 Lumora", true, 1));
    EXPECT_EQ(caption->Order(), EFFECT_ORDER_TEXT);
    auto frame = makeSolidFrame32(128, 128, 128);
    caption->Process(frame.data(), frame.size(), 640, 480);
    auto lines = changedLines(frame);
    ASSERT_FALSE(lines.empty());
    EXPECT_GT(lines.front(), 400) << "the band starts near the bottom";
    EXPECT_EQ(lines.back(), 471) << "and ends 8 lines above it";
    EXPECT_EQ(static_cast<int>(lines.size()), lines.back() - lines.front() + 1);
    int band = (lines.front() + lines.back()) / 2;
    EXPECT_EQ(at(frame, 5, band)[0], 0) << "black background across the picture";
    int white = 0;
    for (int x = 0; x < 640; ++x) {
        white += at(frame, x, band)[0] > 200 ? 1 : 0;
    }
    EXPECT_GT(white, 10) << "white text on it";
    EXPECT_EQ(at(frame, 5, band)[3], 0xEE);

    std::unique_ptr<TextMixerEffect> bare(makeCaption(u"直播开始啦", false, 1));
    frame = makeSolidFrame32(128, 128, 128);
    bare->Process(frame.data(), frame.size(), 640, 480);
    EXPECT_EQ(at(frame, 5, band)[0], 128) << "no background band";
    EXPECT_FALSE(changedLines(frame).empty());

    std::unique_ptr<TextMixerEffect> empty(makeCaption(u"", true, 1));
    frame = makeSolidFrame32(128, 128, 128);
    empty->Process(frame.data(), frame.size(), 640, 480);
    EXPECT_TRUE(changedLines(frame).empty()) << "an empty caption shows nothing";
}

TEST(TextMixerEffectTest, ScrollingMovesAtItsSpeedAndWraps) {
    std::unique_ptr<TextMixerEffect> left(makeCaption(u"向左滚动的字幕", true, 2));
    TextEffect32* text = left->textEffect();
    EXPECT_EQ(text->textLeftAt(0ms) - text->textLeftAt(1000ms), 30);
    EXPECT_EQ(text->textLeftAt(2000ms) - text->textLeftAt(3000ms), 30);
    std::unique_ptr<TextMixerEffect> right(makeCaption(u"向右滚动的字幕", true, 0));
    EXPECT_EQ(right->textEffect()->textLeftAt(1000ms) - right->textEffect()->textLeftAt(0ms), 30);
    // Leaving on the left, it comes back from the right: one jump back.
    bool wrapped = false;
    for (int s = 1; s < 60 && !wrapped; ++s) {
        wrapped = text->textLeftAt(std::chrono::seconds(s)) >
                  text->textLeftAt(std::chrono::seconds(s - 1));
    }
    EXPECT_TRUE(wrapped);

    auto first = makeSolidFrame32(128, 128, 128);
    left->Process(first.data(), first.size(), 640, 480);
    EXPECT_TRUE(eventually([&] {
        auto later = makeSolidFrame32(128, 128, 128);
        left->Process(later.data(), later.size(), 640, 480);
        return later != first;
    })) << "the picture moves";
}

namespace {
// Where something of the picture differs from the plain grey it was, as a
// share of the picture: left, top, right and bottom edges (top line 0).
struct Share {
    double left = 1, top = 1, right = 0, bottom = 0;
};
Share changedShare(const std::vector<uint8_t>& frame, int32_t width, int32_t height) {
    Share share;
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* row = frame.data() + static_cast<size_t>(height - 1 - y) * width * 4;
        for (int32_t x = 0; x < width; ++x) {
            if (row[x * 4] != 128 || row[x * 4 + 2] != 128) {
                share.left = std::min(share.left, double(x) / width);
                share.right = std::max(share.right, double(x + 1) / width);
                share.top = std::min(share.top, double(y) / height);
                share.bottom = std::max(share.bottom, double(y + 1) / height);
            }
        }
    }
    return share;
}
}  // namespace

TEST(OverlayEffectsTest, PendantAndCaptionSitAtTheSamePlaceAgainstThePictureAtEverySize) {
    ScratchDir dir;
    std::string gif = makeTwoFrameGif(dir);
    struct Size {
        int32_t width, height;
    };
    Share pendantAt480, captionAt480;
    for (Size size : {Size{640, 480}, Size{1280, 720}, Size{1920, 1080}}) {
        SCOPED_TRACE(std::to_string(size.width) + "x" + std::to_string(size.height));
        std::vector<uint8_t> frame(VideoFrame::Size32(size.width, size.height), 128);
        GifMixerEffect pendant(wide(gif), size.width, size.height);
        pendant.Process(frame.data(), frame.size(), size.width, size.height);
        Share placed = changedShare(frame, size.width, size.height);
        // Against the height, the pendant is as large and as high up as on
        // 480 lines; it stays in the middle across (its red left half ends
        // there).
        EXPECT_NEAR(placed.bottom - placed.top, 100.0 / 480, 0.01);
        EXPECT_NEAR((placed.top + placed.bottom) / 2, 0.5, 0.01);
        EXPECT_NEAR(placed.right, 0.5, 0.01);
        if (size.height == 480) {
            pendantAt480 = placed;
        }

        std::vector<uint8_t> plain(VideoFrame::Size32(size.width, size.height), 128);
        std::unique_ptr<TextMixerEffect> caption(
            makeCaption(u"直播开始啦 Lumora", true, 1, size.width, size.height));
        caption->Process(plain.data(), plain.size(), size.width, size.height);
        Share band = changedShare(plain, size.width, size.height);
        if (size.height == 480) {
            captionAt480 = band;
            continue;
        }
        // The band spans the width at the same share of the height.
        EXPECT_NEAR(band.top, captionAt480.top, 0.01);
        EXPECT_NEAR(band.bottom, captionAt480.bottom, 0.01);
        EXPECT_NEAR(band.left, 0.0, 0.001);
        EXPECT_NEAR(band.right, 1.0, 0.001);
    }
    EXPECT_GT(pendantAt480.bottom, pendantAt480.top) << "the pendant showed at all";
    EXPECT_GT(captionAt480.bottom, captionAt480.top) << "the caption showed at all";
}
