#include <gtest/gtest.h>

#include "vcam/frame_converter.h"

namespace {
// A 4 x 2 channel frame, bottom row first: bottom row white, black, red, blue;
// top row green, green, grey, grey.
std::vector<uint8_t> smallChannelFrame() {
    return {
        255, 255, 255, 0, 0,   0, 0,   0,   255, 255, 0,   0,    // bottom (B, G, R)
        0,   255, 0,   0, 255, 0, 128, 128, 128, 128, 128, 128,  // top
    };
}
}  // namespace

TEST(FrameConverterTest, Bgr24AndRgb24TurnTheRowsTopFirst) {
    auto frame = smallChannelFrame();
    std::vector<uint8_t> bgr(outputFrameSize(OutputFormat::Bgr24, 4, 2));
    convertChannelFrame(frame.data(), 12, 4, 2, OutputFormat::Bgr24, bgr.data());
    EXPECT_EQ(bgr, (std::vector<uint8_t>{0,   255, 0,   0, 255, 0, 128, 128, 128, 128, 128, 128,
                                         255, 255, 255, 0, 0,   0, 0,   0,   255, 255, 0,   0}));

    std::vector<uint8_t> rgb(outputFrameSize(OutputFormat::Rgb24, 4, 2));
    convertChannelFrame(frame.data(), 12, 4, 2, OutputFormat::Rgb24, rgb.data());
    EXPECT_EQ(rgb, (std::vector<uint8_t>{0,   255, 0,   0, 255, 0, 128, 128, 128, 128, 128, 128,
                                         255, 255, 255, 0, 0,   0, 255, 0,   0,   0,   0,   255}));

    // BGRx: the BGR bytes with an opaque fourth byte, for PipeWire consumers.
    std::vector<uint8_t> bgrx(outputFrameSize(OutputFormat::Bgrx, 4, 2));
    convertChannelFrame(frame.data(), 12, 4, 2, OutputFormat::Bgrx, bgrx.data());
    for (size_t pixel = 0; pixel < 8; ++pixel) {
        EXPECT_EQ(std::vector<uint8_t>(bgrx.begin() + pixel * 4, bgrx.begin() + pixel * 4 + 3),
                  std::vector<uint8_t>(bgr.begin() + pixel * 3, bgr.begin() + pixel * 3 + 3));
        EXPECT_EQ(bgrx[pixel * 4 + 3], 255);
    }
}

namespace {
// BT.601 limited range straight from its definition, in floating point.
struct Yuv {
    double y, u, v;
};
Yuv bt601(double r, double g, double b) {
    double luma = 0.299 * r + 0.587 * g + 0.114 * b;
    return {16 + 219 * luma / 255, 128 + 224 * (b - luma) / (1.772 * 255),
            128 + 224 * (r - luma) / (1.402 * 255)};
}
}  // namespace

TEST(FrameConverterTest, YuyvUsesLimitedRangeBt601WithOneChromaPerPair) {
    auto frame = smallChannelFrame();
    std::vector<uint8_t> yuyv(outputFrameSize(OutputFormat::Yuyv, 4, 2));
    ASSERT_EQ(yuyv.size(), 16u);
    convertChannelFrame(frame.data(), 12, 4, 2, OutputFormat::Yuyv, yuyv.data());
    auto expectPair = [&](size_t offset, Yuv left, Yuv right, Yuv pairChroma) {
        EXPECT_NEAR(yuyv[offset], left.y, 1.0) << offset;
        EXPECT_NEAR(yuyv[offset + 1], pairChroma.u, 1.0) << offset;
        EXPECT_NEAR(yuyv[offset + 2], right.y, 1.0) << offset;
        EXPECT_NEAR(yuyv[offset + 3], pairChroma.v, 1.0) << offset;
    };
    Yuv green = bt601(0, 255, 0), grey = bt601(128, 128, 128);
    expectPair(0, green, green, green);
    expectPair(4, grey, grey, grey);
    // White beside black: each keeps its luma, they share the chroma of their mean.
    expectPair(8, bt601(255, 255, 255), bt601(0, 0, 0), bt601(127.5, 127.5, 127.5));
    expectPair(12, bt601(255, 0, 0), bt601(0, 0, 255), bt601(127.5, 0, 127.5));
    EXPECT_EQ(yuyv[8], 235);  // white and black sit at the range's ends
    EXPECT_EQ(yuyv[10], 16);
}

TEST(FrameConverterTest, FormatNamesAndSizes) {
    EXPECT_EQ(parseOutputFormat("yuyv"), OutputFormat::Yuyv);
    EXPECT_EQ(parseOutputFormat("rgb24"), OutputFormat::Rgb24);
    EXPECT_EQ(parseOutputFormat("bgr24"), OutputFormat::Bgr24);
    EXPECT_FALSE(parseOutputFormat("YUYV").has_value());
    EXPECT_STREQ(outputFormatName(OutputFormat::Rgb24), "rgb24");
    EXPECT_EQ(outputFrameSize(OutputFormat::Yuyv, 640, 480), 614400u);
    EXPECT_EQ(outputFrameSize(OutputFormat::Bgr24, 640, 480), 921600u);
    EXPECT_EQ(parseOutputFormat("bgrx"), OutputFormat::Bgrx);
    EXPECT_STREQ(outputFormatName(OutputFormat::Bgrx), "bgrx");
    EXPECT_EQ(outputFrameSize(OutputFormat::Bgrx, 640, 480), 1228800u);
}
