#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QString>

#include <opencv2/core.hpp>
#include <opencv2/dnn.hpp>
#include <opencv2/imgproc.hpp>

#include <chrono>
#include <cstdio>
#include <ostream>
#include <string>

#include "tests/support/offscreen_application.h"

// The selfie segmentation networks that tools/selfie_model/ fetches and
// converts to ONNX at build time, run with OpenCV's dnn module on a picture
// of a person, against the masks that the package's own runtime made of the
// same picture (tests/tools/selfie_model/data/README.md).

namespace {
const auto* const g_gui =
    ::testing::AddGlobalTestEnvironment(new OffscreenApplication<QGuiApplication>);

// A footballer in a stadium, from Debian's opencv-doc (data/README.md).
const char* const kPicture = LUMORA_SOURCE_DIR "/tests/tools/selfie_model/data/messi5.jpg";

struct Network {
    const char* onnx;
    const char* reference;
    int width;
    int height;
};

// Names the network in gtest's messages.
void PrintTo(const Network& network, std::ostream* out) { *out << network.onnx; }

const Network kGeneral{"selfie_segmentation.onnx", "messi5_general.png", 256, 256};
const Network kLandscape{"selfie_segmentation_landscape.onnx", "messi5_landscape.png", 256, 144};

// The picture as 8-bit RGB, its own size.
cv::Mat loadRgb(const QString& path) {
    QImage image(path);
    if (image.isNull()) {
        return {};
    }
    image = image.convertToFormat(QImage::Format_RGB888);
    cv::Mat view(image.height(), image.width(), CV_8UC3, image.bits(),
                 static_cast<size_t>(image.bytesPerLine()));
    return view.clone();
}

// A grey mask as floats in [0, 1].
cv::Mat loadMask(const QString& path) {
    QImage image(path);
    if (image.isNull()) {
        return {};
    }
    image = image.convertToFormat(QImage::Format_Grayscale8);
    cv::Mat view(image.height(), image.width(), CV_8UC1, image.bits(),
                 static_cast<size_t>(image.bytesPerLine()));
    cv::Mat mask;
    view.convertTo(mask, CV_32F, 1.0 / 255.0);
    return mask;
}

cv::dnn::Net loadNetwork(const Network& network) {
    return cv::dnn::readNetFromONNX(std::string(LUMORA_SELFIE_MODEL_DIR) + "/" + network.onnx);
}

// The network's input: the picture stretched to the network's size, RGB in
// [0, 1], NCHW.
cv::Mat inputBlob(const cv::Mat& rgb, const Network& network) {
    cv::Mat small;
    cv::resize(rgb, small, cv::Size(network.width, network.height), 0, 0, cv::INTER_LINEAR);
    return cv::dnn::blobFromImage(small, 1.0 / 255.0);
}

// The fraction of pixels at or above 0.5 in both masks among those in either.
double intersectionOverUnion(const cv::Mat& a, const cv::Mat& b) {
    const cv::Mat inA = a >= 0.5F;
    const cv::Mat inB = b >= 0.5F;
    const int both = cv::countNonZero(inA & inB);
    const int either = cv::countNonZero(inA | inB);
    return either == 0 ? 0.0 : static_cast<double>(both) / either;
}

class SelfieModel : public ::testing::TestWithParam<Network> {};

TEST_P(SelfieModel, MasksThePersonLikeThePackagesOwnRuntime) {
    const Network network = GetParam();
    const cv::Mat picture = loadRgb(kPicture);
    ASSERT_FALSE(picture.empty()) << kPicture;
    const cv::Mat reference = loadMask(
        QStringLiteral(LUMORA_SOURCE_DIR "/tests/tools/selfie_model/data/") + network.reference);
    ASSERT_EQ(reference.size(), picture.size());

    cv::dnn::Net net = loadNetwork(network);
    ASSERT_FALSE(net.empty());
    net.setInput(inputBlob(picture, network));
    const cv::Mat output = net.forward();

    // One probability per pixel of the network's input, NCHW.
    ASSERT_EQ(output.dims, 4);
    EXPECT_EQ(output.size[0], 1);
    EXPECT_EQ(output.size[1], 1);
    ASSERT_EQ(output.size[2], network.height);
    ASSERT_EQ(output.size[3], network.width);
    ASSERT_EQ(output.type(), CV_32F);
    const cv::Mat small(network.height, network.width, CV_32F,
                        const_cast<float*>(output.ptr<float>()));
    double lowest = 0;
    double highest = 0;
    cv::minMaxLoc(small, &lowest, &highest);
    EXPECT_GE(lowest, 0.0);
    EXPECT_LE(highest, 1.0);

    cv::Mat mask;
    cv::resize(small, mask, picture.size(), 0, 0, cv::INTER_LINEAR);

    // The player's shirt is in, the stands behind him and the grass at the
    // bottom left are out.
    EXPECT_GT(cv::mean(mask(cv::Rect(200, 120, 80, 100)))[0], 0.9);
    const int corner = 50;
    EXPECT_LT(cv::mean(mask(cv::Rect(0, 0, corner, corner)))[0], 0.05);
    EXPECT_LT(cv::mean(mask(cv::Rect(picture.cols - corner, 0, corner, corner)))[0], 0.05);
    EXPECT_LT(cv::mean(mask(cv::Rect(0, picture.rows - corner, corner, corner)))[0], 0.05);

    // The same mask as the package's runtime, up to the rounding of its
    // 8-bit mask and of the two resizers.
    const double iou = intersectionOverUnion(mask, reference);
    cv::Mat difference;
    cv::absdiff(mask, reference, difference);
    const double meanDifference = cv::mean(difference)[0];
    std::printf("%s: IoU at 0.5 %.4f, mean absolute difference %.4f\n", network.onnx, iou,
                meanDifference);
    EXPECT_GT(iou, 0.98);
    EXPECT_LT(meanDifference, 0.01);

    // Time per frame on this machine, printed for the record only.
    const cv::Mat blob = inputBlob(picture, network);
    const int frames = 10;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < frames; ++i) {
        net.setInput(blob);
        net.forward();
    }
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    std::printf("%s: %.1f ms a frame\n", network.onnx, took.count() / frames);
}

// Pictures with nobody in them: the stands at the picture's top right,
// cut out and stretched to the picture's size, and a plain grey picture.
TEST_P(SelfieModel, MasksNothingWhereThereIsNobody) {
    const Network network = GetParam();
    const cv::Mat picture = loadRgb(kPicture);
    ASSERT_FALSE(picture.empty()) << kPicture;
    cv::Mat stands;
    cv::resize(picture(cv::Rect(380, 0, 168, 100)), stands, picture.size(), 0, 0, cv::INTER_LINEAR);
    const cv::Mat grey(picture.size(), CV_8UC3, cv::Scalar(128, 128, 128));

    cv::dnn::Net net = loadNetwork(network);
    ASSERT_FALSE(net.empty());
    for (const cv::Mat& empty : {stands, grey}) {
        net.setInput(inputBlob(empty, network));
        const cv::Mat output = net.forward();
        ASSERT_EQ(output.total(), static_cast<size_t>(network.width * network.height));
        const cv::Mat mask(network.height, network.width, CV_32F,
                           const_cast<float*>(output.ptr<float>()));
        EXPECT_LT(cv::mean(mask)[0], 0.05);
        EXPECT_LT(cv::countNonZero(mask >= 0.5F), static_cast<int>(mask.total() / 100));
    }
}

INSTANTIATE_TEST_SUITE_P(Networks, SelfieModel, ::testing::Values(kGeneral, kLandscape),
                         [](const auto& info) {
                             return std::string(
                                 info.param.width == info.param.height ? "General" : "Landscape");
                         });
}  // namespace
