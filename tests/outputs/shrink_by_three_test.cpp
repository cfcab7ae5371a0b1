#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include "outputs/shrink_by_three.h"

TEST(ShrinkByThreeTest, GivesTheAreaMeanOfEveryBlockAndRefusesWhatItCannotShrink) {
    cv::RNG random(20261207);
    for (cv::Size size : {cv::Size(1920, 1080), cv::Size(6, 3), cv::Size(1200, 900)}) {
        SCOPED_TRACE(std::to_string(size.width) + "x" + std::to_string(size.height));
        cv::Mat picture(size, CV_8UC4);
        random.fill(picture, cv::RNG::UNIFORM, 0, 256);
        cv::Mat ours(size.height / 3, size.width / 3, CV_8UC4, cv::Scalar::all(77));
        ASSERT_TRUE(shrinkByThree(picture, ours));
        cv::Mat area;
        cv::resize(picture, area, ours.size(), 0, 0, cv::INTER_AREA);
        cv::Mat difference;
        cv::absdiff(ours, area, difference);
        double worst = 0;
        cv::minMaxLoc(difference.reshape(1), nullptr, &worst);
        EXPECT_LE(worst, 1.0) << "an area resize rounds in floating point";
        // One block worked out by hand: the top left pixel's blue byte.
        int sum = 0;
        for (int y = 0; y < 3; ++y) {
            for (int x = 0; x < 3; ++x) {
                sum += picture.at<cv::Vec4b>(y, x)[0];
            }
        }
        EXPECT_EQ(ours.at<cv::Vec4b>(0, 0)[0], (sum * 2 + 9) / 18);
    }

    // Into a window of a larger picture (the preview's letterbox): only the
    // window changes.
    cv::Mat picture(1080, 1920, CV_8UC4, cv::Scalar(200, 100, 50, 255));
    cv::Mat preview(480, 640, CV_8UC4, cv::Scalar::all(0));
    cv::Mat window = preview(cv::Rect(0, 60, 640, 360));
    ASSERT_TRUE(shrinkByThree(picture, window));
    EXPECT_EQ(preview.at<cv::Vec4b>(59, 10), cv::Vec4b(0, 0, 0, 0));
    EXPECT_EQ(preview.at<cv::Vec4b>(60, 10), cv::Vec4b(200, 100, 50, 255));
    EXPECT_EQ(preview.at<cv::Vec4b>(419, 639), cv::Vec4b(200, 100, 50, 255));
    EXPECT_EQ(preview.at<cv::Vec4b>(420, 10), cv::Vec4b(0, 0, 0, 0));

    // Not a third, not 32-bit, too wide: refused, the target untouched.
    cv::Mat untouched(360, 640, CV_8UC4, cv::Scalar::all(9));
    cv::Mat half(720, 1280, CV_8UC4, cv::Scalar::all(1));
    EXPECT_FALSE(shrinkByThree(half, untouched));
    cv::Mat threeBytes(1080, 1920, CV_8UC3, cv::Scalar::all(1));
    EXPECT_FALSE(shrinkByThree(threeBytes, untouched));
    cv::Mat wide(30, 3 * 2048, CV_8UC4, cv::Scalar::all(1));
    cv::Mat wideTarget(10, 2048, CV_8UC4, cv::Scalar::all(9));
    EXPECT_FALSE(shrinkByThree(wide, wideTarget));
    EXPECT_EQ(cv::countNonZero(untouched.reshape(1) != 9), 0);
    EXPECT_EQ(cv::countNonZero(wideTarget.reshape(1) != 9), 0);
}

// Every byte against the mean worked out here, at widths that leave every
// remainder of the eight-pixel steps, in both row orders.
TEST(ShrinkByThreeTest, EveryByteIsItsBlocksRoundedMeanInEitherRowOrder) {
    cv::RNG random(7);
    for (int outWidth : {1, 2, 7, 8, 9, 15, 16, 17, 23, 640}) {
        SCOPED_TRACE(outWidth);
        const int outHeight = 4;
        cv::Mat picture(3 * outHeight, 3 * outWidth, CV_8UC4);
        random.fill(picture, cv::RNG::UNIFORM, 0, 256);
        cv::Mat kept(outHeight, outWidth, CV_8UC4), reversed(outHeight, outWidth, CV_8UC4);
        ASSERT_TRUE(shrinkByThree(picture, kept));
        ASSERT_TRUE(shrinkByThree(picture, reversed, ShrinkRows::Reversed));
        int wrong = 0;
        for (int y = 0; y < outHeight; ++y) {
            for (int x = 0; x < outWidth; ++x) {
                for (int channel = 0; channel < 4; ++channel) {
                    int sum = 0;
                    for (int dy = 0; dy < 3; ++dy) {
                        for (int dx = 0; dx < 3; ++dx) {
                            sum += picture.at<cv::Vec4b>(3 * y + dy, 3 * x + dx)[channel];
                        }
                    }
                    const int mean = (sum * 2 + 9) / 18;
                    wrong += kept.at<cv::Vec4b>(y, x)[channel] != mean;
                    wrong += reversed.at<cv::Vec4b>(outHeight - 1 - y, x)[channel] != mean;
                }
            }
        }
        EXPECT_EQ(wrong, 0);
    }
}
