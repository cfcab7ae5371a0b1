#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <random>

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

// A frame of pseudo-random bytes (a fixed seed): neighbouring rows differ
// by anything from 0 to 255, so every weight of a blend shows.
std::vector<uint8_t> noiseFrame() {
    std::vector<uint8_t> frame(VideoFrame::kSize32);
    std::mt19937 random(18);
    std::uniform_int_distribution<int> byte(0, 255);
    for (uint8_t& value : frame) {
        value = static_cast<uint8_t>(byte(random));
    }
    return frame;
}

// The stretch's rule, written out on its own: memory row r of the result
// samples the band at OpenCV's linear-resize position (r + 0.5) x band
// height / 480 - 0.5 (not above the band's first row) and mixes the band row
// above that position with the one below, the lower one's weight being the
// fraction rounded to 1/256: (upper x (256 - w) + lower x w + 128) / 256.
std::vector<uint8_t> stretchedByTheRule(const std::vector<uint8_t>& frame, cv::Rect band) {
    std::vector<uint8_t> result(frame.size());
    const size_t rowBytes = 640 * 4;
    for (int row = 0; row < 480; ++row) {
        double at = std::max((row + 0.5) * band.height / 480.0 - 0.5, 0.0);
        int upper = static_cast<int>(at);
        int weight = static_cast<int>(std::lround((at - upper) * 256));
        int lower = std::min(upper + 1, band.height - 1);
        const uint8_t* above = &frame[(band.y + upper) * rowBytes];
        const uint8_t* below = &frame[(band.y + lower) * rowBytes];
        for (size_t i = 0; i < rowBytes; ++i) {
            result[row * rowBytes + i] =
                static_cast<uint8_t>((above[i] * (256 - weight) + below[i] * weight + 128) / 256);
        }
    }
    return result;
}

// OpenCV's linear resize of the band to the whole frame.
std::vector<uint8_t> stretchedByOpenCv(const std::vector<uint8_t>& frame, cv::Rect band) {
    cv::Mat source(480, 640, CV_8UC4, const_cast<uint8_t*>(frame.data()));
    std::vector<uint8_t> result(frame.size());
    cv::Mat target(480, 640, CV_8UC4, result.data());
    cv::resize(source(band), target, target.size(), 0, 0, cv::INTER_LINEAR);
    return result;
}

size_t bytesApart(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int by) {
    size_t count = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        count += std::abs(a[i] - b[i]) >= by ? 1 : 0;
    }
    return count;
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

// The stretch is the rule above, byte for byte, at every strength; it differs
// from OpenCV's own linear resize (whose weights are finer) by at most one in
// any byte, which is what "bilinear as OpenCV places its samples" promises.
TEST(CamStreatchEffectTest, EveryByteFollowsTheStretchRuleAndStaysWithinOneOfOpenCv) {
    const auto original = noiseFrame();
    CamStreatchEffect effect(1);
    for (int value : {1, 10, 33, 100, 250}) {
        effect.setValue(value);
        cv::Rect band = effect.band();
        int expectedHeight = (480 * 480) / (480 + (480 * value) / 100);
        ASSERT_EQ(band, cv::Rect(0, (480 - expectedHeight) / 2, 640, expectedHeight)) << value;
        auto frame = original;
        effect.Process(frame.data(), frame.size(), 640, 480);
        auto rule = stretchedByTheRule(original, band);
        EXPECT_EQ(bytesApart(frame, rule, 1), 0u) << "bytes off the rule at " << value;
        auto openCv = stretchedByOpenCv(original, band);
        EXPECT_EQ(bytesApart(frame, openCv, 2), 0u) << "bytes more than 1 off OpenCV at " << value;
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

    // A somewhat wider source: its inset would overhang the frame's right
    // edge, so it is cut there; the whole source still shrinks into what is
    // left, and nothing outside that rectangle changes.
    ManualSource wider;
    wider.SetFrameSize(720, 576);
    std::vector<uint8_t> widerPicture(720 * 576 * 4, 70);
    wider.PushFrame(widerPicture.data(), widerPicture.size());
    VideoEffectSmallVideo widerInset(&wider);
    // Uncut it would be 240 x 192 at x = 720 - 14 - 240 = 466, y = 11.
    EXPECT_EQ(widerInset.insetRect(), cv::Rect(466, 11, 640 - 466, 192));
    frame = makeSolidFrame32(0, 0, 0);
    widerInset.Process(frame.data(), frame.size(), 640, 480);
    for (int row = 0; row < 480; ++row) {
        for (int x = 0; x < 640; ++x) {
            bool inside = x >= 466 && row >= 11 && row < 11 + 192;
            ASSERT_EQ(frame[(row * 640 + x) * 4], inside ? 70 : 0) << x << "," << row;
        }
    }

    // A much wider source: its inset would lie wholly right of the frame,
    // so there is none, and the frame is left as it was.
    ManualSource wide;
    wide.SetFrameSize(1280, 720);
    std::vector<uint8_t> widePicture(1280 * 720 * 4, 70);
    wide.PushFrame(widePicture.data(), widePicture.size());
    VideoEffectSmallVideo wideInset(&wide);
    EXPECT_TRUE(wideInset.insetRect().empty());
    frame = makeSolidFrame32(0, 0, 0);
    wideInset.Process(frame.data(), frame.size(), 640, 480);
    EXPECT_EQ(frame, makeSolidFrame32(0, 0, 0));

    // A source that changes its size after construction is not followed.
    small.SetFrameSize(640, 480);
    auto full = makeSolidFrame32(5, 5, 5);
    small.PushFrame(full.data(), full.size());
    frame = makeSolidFrame32(0, 0, 0);
    smallInset.Process(frame.data(), frame.size(), 640, 480);
    EXPECT_EQ(frame, makeSolidFrame32(0, 0, 0));

    // No source at all: no inset, the frame untouched.
    VideoEffectSmallVideo none(nullptr);
    EXPECT_TRUE(none.insetRect().empty());
    frame = makeSolidFrame32(9, 8, 7);
    none.Process(frame.data(), frame.size(), 640, 480);
    EXPECT_EQ(frame, makeSolidFrame32(9, 8, 7));
}

namespace {
// A frame whose every memory row holds the share of the height it sits at,
// as 0..255 in all three colour bytes: the same picture at every size.
std::vector<uint8_t> heightShareFrame(int32_t width, int32_t height) {
    std::vector<uint8_t> frame(VideoFrame::Size32(width, height));
    for (int row = 0; row < height; ++row) {
        auto share = static_cast<uint8_t>(row * 256 / height);
        std::fill_n(&frame[static_cast<size_t>(row) * width * 4], width * 4, share);
    }
    return frame;
}

// The picture shrunk to 640 x 480, to compare pictures of different sizes.
cv::Mat asStandard(std::vector<uint8_t>& frame, int32_t width, int32_t height) {
    cv::Mat picture(height, width, CV_8UC4, frame.data());
    cv::Mat standard;
    cv::resize(picture, standard, cv::Size(640, 480), 0, 0, cv::INTER_AREA);
    return standard;
}
}  // namespace

TEST(GeometryEffectsTest, StretchAndInsetCoverTheSameShareOfThePictureAtEverySize) {
    CamStreatchEffect stretch(30);
    ManualSource second(SOURCE_TYPE_CAMERA);
    auto secondPicture = makeSolidFrame32(250, 250, 250);
    second.PushFrame(secondPicture.data(), secondPicture.size());
    VideoEffectSmallVideo inset(&second);

    auto standard = heightShareFrame(640, 480);
    stretch.Process(standard.data(), standard.size(), 640, 480);
    inset.Process(standard.data(), standard.size(), 640, 480);
    const cv::Rect standardBand = stretch.band();
    cv::Mat expected = asStandard(standard, 640, 480);

    struct Size {
        int32_t width, height;
    };
    for (Size size : {Size{1280, 720}, Size{1920, 1080}, Size{640, 480}}) {
        SCOPED_TRACE(std::to_string(size.width) + "x" + std::to_string(size.height));
        auto frame = heightShareFrame(size.width, size.height);
        stretch.Process(frame.data(), frame.size(), size.width, size.height);
        inset.Process(frame.data(), frame.size(), size.width, size.height);

        const cv::Rect band = stretch.band();
        EXPECT_EQ(band.width, size.width);
        EXPECT_NEAR(double(band.y) / size.height, double(standardBand.y) / 480, 0.005);
        EXPECT_NEAR(double(band.height) / size.height, double(standardBand.height) / 480, 0.005);
        const cv::Rect at = inset.insetRect();
        EXPECT_NEAR(double(at.x) / size.width, 415.0 / 640, 0.002);
        EXPECT_NEAR(double(at.width) / size.width, 213.0 / 640, 0.002);
        EXPECT_NEAR(double(at.y) / size.height, 9.0 / 480, 0.002);
        EXPECT_NEAR(double(at.height) / size.height, 160.0 / 480, 0.002);

        // Shrunk to 640 x 480, the picture is the standard one but for the
        // rounding of the resize at the inset's edges and the ramp's steps.
        cv::Mat shrunk = asStandard(frame, size.width, size.height);
        cv::Mat difference;
        cv::absdiff(shrunk, expected, difference);
        cv::Mat over;
        cv::compare(difference, 3, over, cv::CMP_GT);
        EXPECT_LT(cv::countNonZero(over.reshape(1)), 640 * 480 * 4 / 100)
            << "more than 1 % of the bytes differ by more than 3";
    }
    // Back at 640 x 480 the layout is the standard one again.
    EXPECT_EQ(stretch.band(), standardBand);
    EXPECT_EQ(inset.insetRect(), cv::Rect(415, 9, 213, 160));
}

// With the inset on in HD, one stretch serves a 1280 x 720 main camera and a
// 640 x 480 inset camera, their frames interleaved. Each size is laid out
// once, not once per frame, and each picture is stretched exactly as an
// effect that only ever saw that size stretches it.
TEST(CamStreatchEffectTest, TwoCamerasOfTwoSizesKeepTheirOwnLayouts) {
    CamStreatchEffect shared(30), mainOnly(30), insetOnly(30);
    auto mainPicture = heightShareFrame(1280, 720);
    auto insetPicture = noiseFrame();
    auto mainExpected = mainPicture, insetExpected = insetPicture;
    mainOnly.Process(mainExpected.data(), mainExpected.size(), 1280, 720);
    insetOnly.Process(insetExpected.data(), insetExpected.size(), 640, 480);

    const int before = shared.layoutsMade();
    for (int frame = 0; frame < 20; ++frame) {
        auto main = mainPicture, inset = insetPicture;
        shared.Process(main.data(), main.size(), 1280, 720);
        shared.Process(inset.data(), inset.size(), 640, 480);
        ASSERT_EQ(main, mainExpected) << "frame " << frame;
        ASSERT_EQ(inset, insetExpected) << "frame " << frame;
    }
    EXPECT_EQ(shared.layoutsMade() - before, 1) << "only 1280 x 720 is new";

    // A new strength lays out both sizes again, once each.
    shared.setValue(60);
    EXPECT_EQ(shared.layoutsMade() - before, 3);
    auto main = mainPicture;
    shared.Process(main.data(), main.size(), 1280, 720);
    mainOnly.setValue(60);
    auto mainAt60 = mainPicture;
    mainOnly.Process(mainAt60.data(), mainAt60.size(), 1280, 720);
    EXPECT_EQ(main, mainAt60);
    EXPECT_EQ(shared.layoutsMade() - before, 3);
    EXPECT_EQ(shared.band().height, mainOnly.band().height);
}
