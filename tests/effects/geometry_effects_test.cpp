#include <gtest/gtest.h>

#include "effects/cam_streatch_effect.h"
#include "effects/video_effect_small_video.h"
#include "tests/support/test_components.h"
#include "tests/support/test_frames.h"

namespace {
// Every memory row of the frame painted with half its row number in all three
// colour bytes: a ramp that never wraps.
std::vector<uint8_t> rowNumberFrame() {
    std::vector<uint8_t> frame(VideoFrame::kSize32);
    for (int row = 0; row < 480; ++row) {
        for (int x = 0; x < 640; ++x) {
            uint8_t* px = &frame[(row * 640 + x) * 4];
            px[0] = px[1] = px[2] = static_cast<uint8_t>(row / 2);
            px[3] = 0;
        }
    }
    return frame;
}
}  // namespace

TEST(CamStreatchEffectTest, BandsForTenAndHundredPercent) {
    CamStreatchEffect effect(10);
    EXPECT_EQ(effect.Order(), EFFECT_ORDER_DEFAULT);
    EXPECT_EQ(effect.band(), cv::Rect(0, 22, 640, 436));
    effect.setValue(100);
    EXPECT_EQ(effect.band(), cv::Rect(0, 120, 640, 240));

    // At 100 % the middle 240 rows fill the frame, each about twice: memory
    // row r shows source row 120 + r / 2, whose value is half of that.
    auto frame = rowNumberFrame();
    effect.Process(frame.data(), frame.size(), 640, 480);
    for (int row : {0, 2, 100, 240, 400, 478, 479}) {
        int shows = frame[(row * 640 + 320) * 4];
        EXPECT_NEAR(shows, (120 + row / 2) / 2, 1) << "memory row " << row;
    }
}

TEST(CamStreatchEffectTest, ZeroAndNegativeAreInertUntilAPositiveValue) {
    const auto original = rowNumberFrame();
    for (int value : {0, -5}) {
        CamStreatchEffect effect(value);
        auto frame = original;
        effect.Process(frame.data(), frame.size(), 640, 480);
        EXPECT_EQ(frame, original) << value;
        EXPECT_TRUE(effect.band().empty());
        effect.setValue(10);
        effect.Process(frame.data(), frame.size(), 640, 480);
        EXPECT_NE(frame, original) << "active again after " << value;
    }
}

TEST(VideoEffectSmallVideoTest, TheInsetFollowsTheSecondSourcesFrame) {
    ManualSource second(SOURCE_TYPE_CAMERA);
    VideoEffectSmallVideo inset(&second);
    EXPECT_EQ(inset.Order(), EFFECT_ORDER_SMALL_VIDEO);
    EXPECT_EQ(inset.insetRect(), cv::Rect(415, 9, 213, 160));

    const auto background = makeSolidFrame32(1, 2, 3);
    auto frame = background;
    inset.Process(frame.data(), frame.size(), 640, 480);
    EXPECT_EQ(frame, background) << "no frame from the second source: no inset";

    auto picture = makeSolidFrame32(200, 100, 50);
    second.PushFrame(picture.data(), picture.size());
    inset.Process(frame.data(), frame.size(), 640, 480);
    for (int row = 0; row < 480; ++row) {
        for (int x = 0; x < 640; ++x) {
            bool inside = x >= 415 && x < 628 && row >= 9 && row < 169;
            const uint8_t* px = &frame[(row * 640 + x) * 4];
            ASSERT_EQ(px[0], inside ? 200 : 1) << x << "," << row;
            ASSERT_EQ(px[2], inside ? 50 : 3) << x << "," << row;
        }
    }
    frame = background;
    inset.Process(frame.data(), frame.size(), 640, 480);
    EXPECT_EQ(frame[(100 * 640 + 500) * 4], 200) << "the previous frame shows again";

    second.SetFrameValid(false);
    frame = background;
    inset.Process(frame.data(), frame.size(), 640, 480);
    EXPECT_EQ(frame, background) << "the inset vanishes with the source's frame";
}

TEST(VideoEffectSmallVideoTest, OtherSourceSizesNeverReadOutsideEitherBuffer) {
    // A smaller source: geometry from its own size, wholly inside the frame.
    ManualSource small;
    small.SetFrameSize(320, 240);
    std::vector<uint8_t> smallPicture(320 * 240 * 4, 90);
    small.PushFrame(smallPicture.data(), smallPicture.size());
    VideoEffectSmallVideo smallInset(&small);
    EXPECT_EQ(smallInset.insetRect(), cv::Rect(208, 4, 106, 80));
    auto frame = makeSolidFrame32(0, 0, 0);
    smallInset.Process(frame.data(), frame.size(), 640, 480);
    EXPECT_EQ(frame[(40 * 640 + 250) * 4], 90);

    // A larger source: the inset is cut to the frame.
    ManualSource wide;
    wide.SetFrameSize(1280, 720);
    std::vector<uint8_t> widePicture(1280 * 720 * 4, 70);
    wide.PushFrame(widePicture.data(), widePicture.size());
    VideoEffectSmallVideo wideInset(&wide);
    EXPECT_TRUE((wideInset.insetRect() & cv::Rect(0, 0, 640, 480)) == wideInset.insetRect());
    frame = makeSolidFrame32(0, 0, 0);
    wideInset.Process(frame.data(), frame.size(), 640, 480);

    // A source that changes its size after construction is not followed.
    small.SetFrameSize(640, 480);
    auto full = makeSolidFrame32(5, 5, 5);
    small.PushFrame(full.data(), full.size());
    frame = makeSolidFrame32(0, 0, 0);
    smallInset.Process(frame.data(), frame.size(), 640, 480);
    EXPECT_EQ(frame, makeSolidFrame32(0, 0, 0));

    VideoEffectSmallVideo none(nullptr);
    none.Process(frame.data(), frame.size(), 640, 480);
}
