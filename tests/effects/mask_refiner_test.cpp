#include <gtest/gtest.h>

#include <QImage>
#include <QString>

#include <opencv2/imgproc.hpp>

#include <chrono>
#include <cstdio>
#include <initializer_list>
#include <random>
#include <string>
#include <vector>

#include "effects/background_passes.h"
#include "effects/mask_refiner.h"
#include "effects/segmentation_worker.h"
#include "tests/support/eventually.h"

// The frame's mask made only where the person's edge is, against the same
// passes run over the whole frame, with the real network's mask of a real
// picture of a person.

namespace {
constexpr auto kDeadline = std::chrono::seconds(60);

// The footballer at 640 x 480, BGRx, bottom row first.
cv::Mat footballer() {
    const QImage image =
        QImage(QStringLiteral(LUMORA_SOURCE_DIR "/tests/tools/selfie_model/data/messi5.jpg"))
            .convertToFormat(QImage::Format_RGB32);
    const cv::Mat view(image.height(), image.width(), CV_8UC4, const_cast<uchar*>(image.bits()),
                       static_cast<size_t>(image.bytesPerLine()));
    cv::Mat resized, frame;
    cv::resize(view, resized, cv::Size(640, 480), 0, 0, cv::INTER_AREA);
    cv::flip(resized, frame, 0);
    return frame;
}

SegmentationMask maskOf(const cv::Mat& frame, int blurRadius) {
    SegmentationWorker worker;
    std::string problem;
    EXPECT_TRUE(worker.start(
        {std::string(LUMORA_SELFIE_MODEL_DIR) + "/selfie_segmentation.onnx", 256, 256}, &problem))
        << problem;
    cv::Mat half(frame.rows / 2, frame.cols / 2, CV_8UC4);
    downscaleHalf(frame, half);
    SegmentationMask mask;
    EXPECT_TRUE(
        eventually([&] { return worker.offer(half, false, nullptr, blurRadius); }, kDeadline));
    EXPECT_TRUE(eventually([&] { return worker.takeNewest(&mask); }, kDeadline));
    return mask;
}

// The whole-frame passes: coefficients doubled, applied to the frame's grey
// at half size, the mask doubled.
cv::Mat wholeFrameMask(const cv::Mat& frame, const SegmentationMask& mask) {
    const cv::Size half(frame.cols / 2, frame.rows / 2);
    cv::Mat halfPicture(half, CV_8UC4), halfCoeffs(half, CV_32FC2), halfMask(half, CV_8UC1);
    cv::Mat grey(1, half.width, CV_8UC1), full(frame.size(), CV_8UC1);
    downscaleHalf(frame, halfPicture);
    upsampleDouble(mask.coefficients, halfCoeffs);
    refineMask(halfPicture, halfCoeffs, grey, halfMask);
    upsampleDouble(halfMask, full);
    return full;
}

// The share of the 160 x 120 cells in runs of this kind, or in refined runs.
double shareOf(const CellRuns& runs, CellKind kind, bool refined = false) {
    int cells = 0;
    for (int row = 0; row < runs.rows(); ++row) {
        for (const CellRun& run : refined ? runs.refined(row) : runs.kinds(row)) {
            cells += run.kind == kind ? run.to - run.from : 0;
        }
    }
    return cells / (160.0 * 120.0);
}
}  // namespace

// The spans are byte-identical to the whole doubling, at the edges too.
TEST(BackgroundPassesTest, ADoubledSpanIsThatPartOfTheDoubledPicture) {
    std::mt19937 random(11);
    for (int type : {CV_8UC1, CV_32FC2}) {
        cv::Mat small(9, 13, type);
        cv::randu(small, 0, type == CV_8UC1 ? 255 : 1);
        cv::Mat big(18, 26, type);
        upsampleDouble(small, big);
        std::uniform_int_distribution<int> column(0, 12);
        for (int trial = 0; trial < 200; ++trial) {
            int from = column(random), to = column(random) + 1;
            if (from >= to) {
                std::swap(from, to);
                to = std::max(to, from + 1);
            }
            const int row = trial % big.rows;
            cv::Mat out(1, 2 * (to - from), type);
            if (type == CV_8UC1) {
                doubleByteSpan(small, row, from, to, out.ptr<uint8_t>(0));
            } else {
                doublePairSpan(small, row, from, to, out.ptr<float>(0));
            }
            const cv::Mat expected = big.row(row).colRange(2 * from, 2 * to);
            ASSERT_EQ(cv::norm(out, expected, cv::NORM_INF), 0.0)
                << "type " << type << ", row " << row << ", columns " << from << " to " << to;
        }
    }
}

// The blends, vector path and tail, against the rounding they promise:
// (x w + y (256 - w) + 128) >> 8 with w = mask + mask / 128, so a mask of
// 255 keeps the frame and 0 gives the background, bytes exactly.
TEST(BackgroundPassesTest, BlendsRoundAsPromisedAtEveryLength) {
    std::mt19937 random(5);
    std::uniform_int_distribution<int> byte(0, 255);
    auto expected = [](int x, int y, int m) {
        const int w = m + (m >> 7);
        return static_cast<uint8_t>((x * w + y * (256 - w) + 128) >> 8);
    };
    const uint8_t colour[4] = {17, 140, 233, 255};
    for (size_t pixels : {1u, 7u, 8u, 9u, 64u, 1003u}) {
        std::vector<uint8_t> frame(4 * pixels), background(4 * pixels), mask(pixels);
        for (auto& b : frame)
            b = static_cast<uint8_t>(byte(random));
        for (auto& b : background)
            b = static_cast<uint8_t>(byte(random));
        for (size_t i = 0; i < pixels; ++i) {
            const int kinds[] = {0, 255, 127, 128, byte(random)};
            mask[i] = static_cast<uint8_t>(kinds[i % 5]);
        }
        std::vector<uint8_t> blended = frame, coloured = frame;
        blendBackground(blended.data(), background.data(), mask.data(), pixels);
        blendColour(coloured.data(), colour, mask.data(), pixels);
        for (size_t i = 0; i < 4 * pixels; ++i) {
            ASSERT_EQ(blended[i], expected(frame[i], background[i], mask[i / 4]))
                << pixels << " pixels, byte " << i;
            ASSERT_EQ(coloured[i], expected(frame[i], colour[i % 4], mask[i / 4]))
                << pixels << " pixels, byte " << i;
        }
    }
}

// Cells the worker marks sure refine to 255 or 0 for any picture, so the
// refiner matches the whole-frame passes on the picture the mask was made
// of, on that picture with noise, and on noise alone; and it is spared most
// of the frame.
TEST(MaskRefinerTest, MatchesTheWholeFramePassesOnAnyFrame) {
    const cv::Mat frame = footballer();
    const SegmentationMask mask = maskOf(frame, 0);
    ASSERT_EQ(mask.runs.rows(), 120);
    for (int row = 0; row < mask.runs.rows(); ++row) {
        ASSERT_FALSE(mask.runs.kinds(row).empty());
        ASSERT_EQ(mask.runs.kinds(row).back().to, 160) << "the runs cover the row";
    }
    const double person = shareOf(mask.runs, CellKind::Person);
    const double background = shareOf(mask.runs, CellKind::Background);
    const double refined = shareOf(mask.runs, CellKind::Edge, true);
    std::printf("cells: person %.1f %%, background %.1f %%, refined %.1f %%\n", person * 100,
                background * 100, refined * 100);
    EXPECT_GT(person, 0.05);
    EXPECT_GT(background, 0.3);
    EXPECT_LT(refined, 0.35);

    cv::Mat noisy = frame.clone(), noise(frame.size(), CV_8UC4);
    cv::Mat offset(frame.size(), CV_8UC4);
    cv::randn(offset, 0, 12);
    noisy += offset;
    cv::randu(noise, 0, 256);
    MaskRefiner refiner;
    for (const cv::Mat* picture : std::initializer_list<const cv::Mat*>{&frame, &noisy, &noise}) {
        cv::Mat refinedMask(frame.size(), CV_8UC1, cv::Scalar(77));
        refiner.prepare(*picture, mask);
        refiner.wholeMask(refinedMask);
        EXPECT_EQ(cv::norm(refinedMask, wholeFrameMask(*picture, mask), cv::NORM_INF), 0.0);
    }
}

// With a blur asked for, the mask comes with the background blurred at the
// frame's size: the person's middle there has the stadium's colours, not the
// shirt's, and the picture's far corner is near its own colour.
TEST(MaskRefinerTest, TheWorkerBlursTheBackgroundWithTheMaskWhenAsked) {
    const cv::Mat frame = footballer();
    const SegmentationMask plain = maskOf(frame, 0);
    EXPECT_TRUE(plain.background.empty());
    const SegmentationMask blurred = maskOf(frame, 2);
    ASSERT_EQ(blurred.background.size(), frame.size());
    EXPECT_EQ(blurred.blurRadius, 2);
    cv::Mat fullMask(frame.size(), CV_8UC1);
    MaskRefiner refiner;
    refiner.prepare(frame, blurred);
    refiner.wholeMask(fullMask);
    const cv::Mat person = fullMask == 255;
    const cv::Mat away = fullMask == 0;
    ASSERT_GT(cv::countNonZero(person), 1000);
    const cv::Scalar shirt = cv::mean(frame, person);
    const cv::Scalar behind = cv::mean(blurred.background, person);
    const cv::Scalar stadium = cv::mean(frame, away);
    const double shirtToBehind = cv::norm(shirt - behind);
    const double stadiumToBehind = cv::norm(stadium - behind);
    std::printf("mean colour under the person: %.0f from the shirt, %.0f from the stadium\n",
                shirtToBehind, stadiumToBehind);
    EXPECT_LT(stadiumToBehind, shirtToBehind);
    const cv::Scalar cornerBlurred = cv::mean(blurred.background(cv::Rect(0, 0, 32, 32)));
    const cv::Scalar corner = cv::mean(frame(cv::Rect(0, 0, 32, 32)));
    EXPECT_LT(cv::norm(cornerBlurred - corner), 20.0);
}
