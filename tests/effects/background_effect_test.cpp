#include <gtest/gtest.h>

#include <QImage>
#include <QString>

#include <opencv2/imgproc.hpp>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "effects/background_effect.h"
#include "effects/background_passes.h"
#include "effects/segmentation_worker.h"
#include "tests/support/eventually.h"
#include "tests/support/log_capture.h"

// The background effect with the real selfie segmentation network (converted
// at build time) on a real picture of a person, whose reference mask the
// package's own runtime made (tests/tools/selfie_model/data/README.md).

namespace {
constexpr auto kDeadline = std::chrono::seconds(60);

const char* const kData = LUMORA_SOURCE_DIR "/tests/tools/selfie_model/data/";

SegmentationModel generalModel() {
    return {std::string(LUMORA_SELFIE_MODEL_DIR) + "/selfie_segmentation.onnx", 256, 256};
}

// The footballer stretched to the frame's size, BGRx, bottom row first.
std::vector<uint8_t> personFrame(int width, int height) {
    const QImage image =
        QImage(QString(kData) + "messi5.jpg").convertToFormat(QImage::Format_RGB32);
    const cv::Mat view(image.height(), image.width(), CV_8UC4, const_cast<uchar*>(image.bits()),
                       static_cast<size_t>(image.bytesPerLine()));
    std::vector<uint8_t> frame(static_cast<size_t>(width) * height * 4);
    cv::Mat target(height, width, CV_8UC4, frame.data());
    cv::Mat resized;
    cv::resize(view, resized, target.size(), 0, 0, cv::INTER_AREA);
    cv::flip(resized, target, 0);
    return frame;
}

// The package's own mask of the same picture, the same way, in [0, 1].
cv::Mat referenceMask(int width, int height) {
    const QImage image =
        QImage(QString(kData) + "messi5_general.png").convertToFormat(QImage::Format_Grayscale8);
    const cv::Mat view(image.height(), image.width(), CV_8UC1, const_cast<uchar*>(image.bits()),
                       static_cast<size_t>(image.bytesPerLine()));
    cv::Mat resized, flipped, mask;
    cv::resize(view, resized, cv::Size(width, height), 0, 0, cv::INTER_LINEAR);
    cv::flip(resized, flipped, 0);
    flipped.convertTo(mask, CV_32F, 1.0 / 255.0);
    return mask;
}

// The mask eroded or dilated by a disc of that many pixels.
cv::Mat morphedBy(const cv::Mat& mask, int pixels, cv::MorphTypes operation) {
    cv::Mat out;
    cv::morphologyEx(
        mask, out, operation,
        cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(2 * pixels + 1, 2 * pixels + 1)));
    return out;
}

cv::Mat erodeBy(const cv::Mat& mask, int pixels) {
    return morphedBy(mask, pixels, cv::MORPH_ERODE);
}

cv::Mat dilateBy(const cv::Mat& mask, int pixels) {
    return morphedBy(mask, pixels, cv::MORPH_DILATE);
}

// Surely the person: the reference mask above 0.9, 8 pixels in. Surely not:
// below 0.1, 8 pixels away from anything above it.
cv::Mat personPixels(const cv::Mat& reference) { return erodeBy(reference > 0.9F, 8); }
cv::Mat backgroundPixels(const cv::Mat& reference) { return erodeBy(reference < 0.1F, 8); }

cv::Mat view(std::vector<uint8_t>& frame, int width, int height) {
    return cv::Mat(height, width, CV_8UC4, frame.data());
}

// The mean over the three colours of |a - b| where `where` is set.
double meanDifference(const cv::Mat& a, const cv::Mat& b, const cv::Mat& where) {
    cv::Mat difference;
    cv::absdiff(a, b, difference);
    const cv::Scalar mean = cv::mean(difference, where);
    return (mean[0] + mean[1] + mean[2]) / 3.0;
}

// Feeds copies of `input` until the effect has blended a frame with a mask
// from at least `masks` published ones; the last output lands in *output.
bool processUntilMasked(BackgroundEffect& effect, const std::vector<uint8_t>& input, int width,
                        int height, uint64_t masks, std::vector<uint8_t>* output) {
    return eventually(
        [&] {
            *output = input;
            effect.Process(output->data(), output->size(), width, height);
            const cv::Mat mask = effect.lastMask();
            return effect.masksPublished() >= masks && mask.cols == width && mask.rows == height;
        },
        kDeadline);
}

// A box blur of the given radius run twice, as the effect's strength is
// meant, at the frame's size.
cv::Mat tent(const cv::Mat& image, int radius) {
    cv::Mat once, twice;
    const cv::Size box(2 * radius + 1, 2 * radius + 1);
    cv::boxFilter(image, once, CV_32F, box, cv::Point(-1, -1), false, cv::BORDER_REPLICATE);
    cv::boxFilter(once, twice, CV_32F, box, cv::Point(-1, -1), false, cv::BORDER_REPLICATE);
    return twice;
}

class BackgroundEffectTest : public ::testing::Test {
protected:
    static constexpr int kWidth = 640;
    static constexpr int kHeight = 480;
    std::vector<uint8_t> input_ = personFrame(kWidth, kHeight);
    cv::Mat reference_ = referenceMask(kWidth, kHeight);
};

TEST_F(BackgroundEffectTest, BlurKeepsThePersonAndBlursTheBackground) {
    BackgroundEffect effect(generalModel());
    ASSERT_TRUE(effect.modelLoaded()) << effect.modelProblem();
    EXPECT_EQ(effect.Order(), EFFECT_ORDER_BACKGROUND);
    effect.setMode(BackgroundMode::Blur);
    effect.setBlurStrength(BlurStrength::Strong);
    std::vector<uint8_t> output;
    ASSERT_TRUE(processUntilMasked(effect, input_, kWidth, kHeight, 3, &output));

    cv::Mat in = view(input_, kWidth, kHeight);
    cv::Mat out = view(output, kWidth, kHeight);
    const cv::Mat person = personPixels(reference_);
    const cv::Mat background = backgroundPixels(reference_);
    ASSERT_GT(cv::countNonZero(person), 10000);
    ASSERT_GT(cv::countNonZero(background), 50000);

    const double personChange = meanDifference(in, out, person);
    const double backgroundChange = meanDifference(in, out, background);
    std::printf("mean change: person %.3f, background %.3f levels\n", personChange,
                backgroundChange);
    EXPECT_LT(personChange, 1.5);
    EXPECT_GT(backgroundChange, 8.0);

    // The blurred background is smooth: its neighbouring pixels differ far
    // less than the stadium's.
    cv::Mat inGrey, outGrey, inEdges, outEdges;
    cv::cvtColor(in, inGrey, cv::COLOR_BGRA2GRAY);
    cv::cvtColor(out, outGrey, cv::COLOR_BGRA2GRAY);
    cv::Laplacian(inGrey, inEdges, CV_16S);
    cv::Laplacian(outGrey, outEdges, CV_16S);
    const double inDetail = cv::mean(cv::abs(inEdges), background)[0];
    const double outDetail = cv::mean(cv::abs(outEdges), background)[0];
    EXPECT_LT(outDetail, inDetail / 4) << inDetail << " -> " << outDetail;
}

TEST_F(BackgroundEffectTest, BlurSpreadsNoHaloOfThePersonsColours) {
    BackgroundEffect effect(generalModel());
    ASSERT_TRUE(effect.modelLoaded()) << effect.modelProblem();
    effect.setMode(BackgroundMode::Blur);
    effect.setBlurStrength(BlurStrength::Strong);
    std::vector<uint8_t> output;
    ASSERT_TRUE(processUntilMasked(effect, input_, kWidth, kHeight, 3, &output));
    const cv::Mat mask = effect.lastMask();

    cv::Mat in, out;
    cv::cvtColor(view(input_, kWidth, kHeight), in, cv::COLOR_BGRA2BGR);
    cv::cvtColor(view(output, kWidth, kHeight), out, cv::COLOR_BGRA2BGR);
    cv::Mat inFloat;
    in.convertTo(inFloat, CV_32FC3);
    const int radius = 8 * backgroundBlurRadius(BlurStrength::Strong);

    // What the background looks like blurred without the person: the
    // reference mask's background alone, blurred and normalised.
    cv::Mat backgroundWeight;
    cv::Mat(reference_ < 0.5F).convertTo(backgroundWeight, CV_32F, 1.0 / 255.0);
    cv::Mat weight3;
    cv::merge(std::vector<cv::Mat>(3, backgroundWeight), weight3);
    const cv::Mat numerator = tent(inFloat.mul(weight3), radius);
    cv::Mat denominator = tent(weight3, radius);
    cv::max(denominator, 1e-3, denominator);
    cv::Mat backgroundOnly;
    cv::divide(numerator, denominator, backgroundOnly);
    backgroundOnly.convertTo(backgroundOnly, CV_8UC3);

    // Blurring everything, person too, then putting the person back with
    // the effect's own mask.
    cv::Mat everything = tent(inFloat, radius);
    everything /= static_cast<double>((2 * radius + 1) * (2 * radius + 1)) * (2 * radius + 1) *
                  (2 * radius + 1);
    cv::Mat m;
    mask.convertTo(m, CV_32F, 1.0 / 255.0);
    cv::Mat m3;
    cv::merge(std::vector<cv::Mat>(3, m), m3);
    cv::Mat plain = inFloat.mul(m3) + everything.mul(cv::Scalar::all(1.0) - m3);
    plain.convertTo(plain, CV_8UC3);

    // The band 4 pixels wide just outside the person: outside the mask's
    // soft edge too (less than 8 / 255 of the person), where both
    // composites show nothing of the person but their blurred background.
    const cv::Mat inside = mask >= 8;
    const cv::Mat band = dilateBy(inside, 4) & ~inside;
    ASSERT_GT(cv::countNonZero(band), 2000);
    const double haloEffect = meanDifference(out, backgroundOnly, band);
    const double haloPlain = meanDifference(plain, backgroundOnly, band);
    std::printf("halo: masked blur %.2f, blur everything %.2f levels (ratio %.2f)\n", haloEffect,
                haloPlain, haloEffect / haloPlain);
    EXPECT_LE(haloEffect, haloPlain / 2);
}

TEST_F(BackgroundEffectTest, ReplacementPictureCoversTheBackground) {
    BackgroundEffect effect(generalModel());
    ASSERT_TRUE(effect.modelLoaded()) << effect.modelProblem();
    // Twice as wide as high, top row first: red | green over blue | yellow.
    // Covering 640 x 480 scales it to 960 x 480 and crops 160 columns off
    // each side, so the frame's left half shows the left half.
    cv::Mat picture(100, 200, CV_8UC3);
    picture(cv::Rect(0, 0, 100, 50)).setTo(cv::Scalar(0, 0, 255));
    picture(cv::Rect(100, 0, 100, 50)).setTo(cv::Scalar(0, 255, 0));
    picture(cv::Rect(0, 50, 100, 50)).setTo(cv::Scalar(255, 0, 0));
    picture(cv::Rect(100, 50, 100, 50)).setTo(cv::Scalar(0, 255, 255));
    effect.setPicture(picture);
    effect.setMode(BackgroundMode::Picture);
    std::vector<uint8_t> output;
    ASSERT_TRUE(processUntilMasked(effect, input_, kWidth, kHeight, 2, &output));

    cv::Mat out = view(output, kWidth, kHeight);
    const cv::Mat background = backgroundPixels(reference_);
    // Memory rows are bottom first: the picture's top is the frame's end.
    const struct {
        cv::Rect corner;
        cv::Scalar colour;
    } corners[] = {
        {cv::Rect(0, kHeight - 50, 50, 50), cv::Scalar(0, 0, 255)},            // top left
        {cv::Rect(kWidth - 50, kHeight - 50, 50, 50), cv::Scalar(0, 255, 0)},  // top right
        {cv::Rect(0, 0, 50, 50), cv::Scalar(255, 0, 0)},                       // bottom left
    };
    for (const auto& [corner, colour] : corners) {
        ASSERT_EQ(cv::countNonZero(background(corner)), corner.area());
        const cv::Scalar mean = cv::mean(out(corner));
        for (int ch = 0; ch < 3; ++ch) {
            EXPECT_NEAR(mean[ch], colour[ch], 2.0) << corner << " channel " << ch;
        }
    }
    EXPECT_LT(meanDifference(view(input_, kWidth, kHeight), out, personPixels(reference_)), 1.5);

    // A plain colour the same way.
    effect.setColour(10, 200, 30);
    effect.setMode(BackgroundMode::Colour);
    output = input_;
    effect.Process(output.data(), output.size(), kWidth, kHeight);
    const cv::Scalar mean = cv::mean(view(output, kWidth, kHeight), background);
    EXPECT_NEAR(mean[0], 30, 1.0);
    EXPECT_NEAR(mean[1], 200, 1.0);
    EXPECT_NEAR(mean[2], 10, 1.0);
    // Byte for byte the whole frame blended by the mask the effect reports:
    // the runs it skips, fills and blends add up to that.
    std::vector<uint8_t> expected = input_;
    const cv::Mat mask = effect.lastMask();
    const uint8_t colour[4] = {30, 200, 10, 255};
    blendColour(expected.data(), colour, mask.data, mask.total());
    EXPECT_TRUE(expected == output);
}

TEST_F(BackgroundEffectTest, OffLeavesFramesByteIdentical) {
    BackgroundEffect effect(generalModel());
    ASSERT_TRUE(effect.modelLoaded()) << effect.modelProblem();
    effect.setMode(BackgroundMode::Blur);
    std::vector<uint8_t> output;
    ASSERT_TRUE(processUntilMasked(effect, input_, kWidth, kHeight, 1, &output));
    ASSERT_NE(output, input_);

    effect.setMode(BackgroundMode::Off);
    for (int i = 0; i < 4; ++i) {
        output = input_;
        effect.Process(output.data(), output.size(), kWidth, kHeight);
        EXPECT_EQ(output, input_);
    }
}

TEST_F(BackgroundEffectTest, AfterAPauseNoMaskFromBeforeIsUsed) {
    BackgroundEffect effect(generalModel());
    ASSERT_TRUE(effect.modelLoaded()) << effect.modelProblem();
    effect.setMode(BackgroundMode::Colour);
    effect.setColour(0, 0, 0);
    std::vector<uint8_t> output;
    ASSERT_TRUE(processUntilMasked(effect, input_, kWidth, kHeight, 2, &output));

    // Off for a while, and the person moves: the picture mirrored.
    effect.setMode(BackgroundMode::Off);
    output = input_;
    effect.Process(output.data(), output.size(), kWidth, kHeight);
    std::vector<uint8_t> mirrored(input_.size());
    cv::flip(view(input_, kWidth, kHeight), view(mirrored, kWidth, kHeight), 1);
    cv::Mat mirroredReference;
    cv::flip(reference_, mirroredReference, 1);

    // Back on: every frame is either unchanged or blended with a mask of the
    // mirrored picture, never with the one from before the pause (which
    // would blacken the person's new place and keep the old one).
    effect.setMode(BackgroundMode::Colour);
    const cv::Mat person = personPixels(mirroredReference);
    const cv::Mat background = backgroundPixels(mirroredReference);
    int blended = 0;
    ASSERT_TRUE(eventually(
        [&] {
            output = mirrored;
            effect.Process(output.data(), output.size(), kWidth, kHeight);
            if (output == mirrored) {
                return false;
            }
            ++blended;
            const cv::Mat out = view(output, kWidth, kHeight);
            EXPECT_LT(meanDifference(view(mirrored, kWidth, kHeight), out, person), 1.5);
            const cv::Scalar mean = cv::mean(out, background);
            EXPECT_LT(mean[0] + mean[1] + mean[2], 3.0);
            return blended >= 3;
        },
        kDeadline));
}

TEST_F(BackgroundEffectTest, AMissingOrCorruptNetworkLeavesFramesByteIdentical) {
    const std::string corrupt = ::testing::TempDir() + "background_effect_corrupt.onnx";
    {
        // The real network cut in half.
        std::ifstream in(generalModel().path, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ASSERT_GT(bytes.size(), 1000u);
        std::ofstream(corrupt, std::ios::binary).write(bytes.data(), bytes.size() / 2);
    }
    const std::string missing = ::testing::TempDir() + "background_effect_missing.onnx";
    std::remove(missing.c_str());

    for (const std::string& path : {missing, corrupt}) {
        LogCapture log;
        BackgroundEffect effect({path, 256, 256});
        EXPECT_FALSE(effect.modelLoaded());
        EXPECT_FALSE(effect.modelProblem().empty());
        effect.setMode(BackgroundMode::Blur);
        for (int i = 0; i < 10; ++i) {
            std::vector<uint8_t> output = input_;
            effect.Process(output.data(), output.size(), kWidth, kHeight);
            ASSERT_EQ(output, input_) << path;
        }
        EXPECT_EQ(effect.masksPublished(), 0u);
        // Said once, naming the file.
        const auto lines = log.lines();
        ASSERT_EQ(lines.size(), 1u) << path;
        EXPECT_NE(lines[0].find(path), std::string::npos) << lines[0];
    }
}

TEST_F(BackgroundEffectTest, FramesOfAnotherSizeGetTheirOwnBuffers) {
    BackgroundEffect effect(generalModel());
    ASSERT_TRUE(effect.modelLoaded()) << effect.modelProblem();
    effect.setMode(BackgroundMode::Colour);
    effect.setColour(0, 0, 0);
    std::vector<uint8_t> output;
    ASSERT_TRUE(processUntilMasked(effect, input_, kWidth, kHeight, 1, &output));

    // A buffer shorter than the size it claims is left alone.
    std::vector<uint8_t> short_ = input_;
    short_.pop_back();
    const std::vector<uint8_t> shortInput = short_;
    effect.Process(short_.data(), short_.size(), kWidth, kHeight);
    EXPECT_EQ(short_, shortInput);

    // 1280 x 720, in a buffer of exactly that size: the first frames pass
    // unchanged (the mask of the old size does not fit), then a mask of the
    // new size arrives.
    const int wide = 1280;
    const int high = 720;
    const std::vector<uint8_t> hd = personFrame(wide, high);
    std::vector<uint8_t> hdOutput = hd;
    effect.Process(hdOutput.data(), hdOutput.size(), wide, high);
    EXPECT_EQ(hdOutput, hd);
    const uint64_t before = effect.masksPublished();
    ASSERT_TRUE(processUntilMasked(effect, hd, wide, high, before + 1, &hdOutput));

    const cv::Mat reference = referenceMask(wide, high);
    const cv::Mat in(high, wide, CV_8UC4, const_cast<uint8_t*>(hd.data()));
    const cv::Mat out(high, wide, CV_8UC4, hdOutput.data());
    EXPECT_LT(meanDifference(in, out, personPixels(reference)), 1.5);
    const cv::Scalar background = cv::mean(out, backgroundPixels(reference));
    EXPECT_LT(background[0] + background[1] + background[2], 3.0);
}

// The share of pixels on the other side of 0.5 than in the mask before.
double flipShare(const cv::Mat& before, const cv::Mat& after) {
    const cv::Mat flipped = (before >= 0.5F) ^ (after >= 0.5F);
    return static_cast<double>(cv::countNonZero(flipped)) / static_cast<double>(before.total());
}

// The worker on a still picture with fresh camera-like noise in every frame;
// returns the mean share of flipping pixels between consecutive masks.
double flickerOfNoisyStill(float smoothing, const std::vector<uint8_t>& frame) {
    SegmentationWorker worker;
    worker.setSmoothing(smoothing);
    std::string problem;
    EXPECT_TRUE(worker.start(generalModel(), &problem)) << problem;
    cv::Mat full(480, 640, CV_8UC4, const_cast<uint8_t*>(frame.data()));
    cv::Mat half;
    cv::resize(full, half, cv::Size(320, 240), 0, 0, cv::INTER_AREA);
    std::mt19937 random(7);
    std::normal_distribution<float> noise(0.0f, 8.0f);
    SegmentationMask mask;
    cv::Mat previous;
    double sum = 0;
    int count = 0;
    for (int step = 0; step < 16; ++step) {
        cv::Mat noisy(half.size(), CV_8UC4);
        for (size_t i = 0; i < half.total() * 4; ++i) {
            noisy.data[i] = cv::saturate_cast<uint8_t>(half.data[i] + noise(random));
        }
        const uint64_t published = worker.published();
        EXPECT_TRUE(eventually([&] { return worker.offer(noisy); }, kDeadline));
        EXPECT_TRUE(eventually([&] { return worker.published() > published; }, kDeadline));
        EXPECT_TRUE(eventually([&] { return worker.takeNewest(&mask); }, kDeadline));
        if (!previous.empty()) {
            sum += flipShare(previous, mask.probability);
            ++count;
        }
        mask.probability.copyTo(previous);
    }
    return count == 0 ? 1.0 : sum / count;
}

TEST_F(BackgroundEffectTest, MasksOfANoisyStillPictureHardlyFlicker) {
    const double smoothed = flickerOfNoisyStill(0.5f, input_);
    const double raw = flickerOfNoisyStill(1.0f, input_);
    std::printf("flipping share between masks: smoothed %.4f %%, unsmoothed %.4f %%\n",
                smoothed * 100, raw * 100);
    EXPECT_LT(smoothed, 0.01);
    EXPECT_LT(smoothed, raw);
}
}  // namespace
