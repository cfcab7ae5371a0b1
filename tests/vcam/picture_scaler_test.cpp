#include <gtest/gtest.h>

#include "base/video_frame.h"
#include "tests/support/test_frames.h"
#include "vcam/picture_scaler.h"

namespace {
uint8_t& at(std::vector<uint8_t>& picture, int width, int x, int y, int channel) {
    return picture[static_cast<size_t>(y) * VideoFrame::RowBytes(width, 24) +
                   static_cast<size_t>(x) * 3 + static_cast<size_t>(channel)];
}
}  // namespace

// Halving a picture made of 2 x 2 blocks gives each block's colour exactly;
// an odd ratio (1920 x 1080 to 640 x 480) keeps a flat picture flat and a
// left-to-right ramp rising; the same size is a plain copy.
TEST(PictureScalerTest, ScalesBlocksExactlyAndKeepsFlatAndRisingPictures) {
    auto big = makePatternFrame24(1280, 720, 3);
    for (int y = 0; y < 720; ++y) {
        for (int x = 0; x < 1280; ++x) {
            for (int c = 0; c < 3; ++c) {
                at(big, 1280, x, y, c) = at(big, 1280, x / 2 * 2, y / 2 * 2, c);
            }
        }
    }
    PictureScaler scaler;
    scaler.prepare({1280, 720}, {640, 360});
    std::vector<uint8_t> half(VideoFrame::Size24(640, 360));
    scaler.scale(big.data(), half.data());
    for (int y = 0; y < 360; y += 7) {
        for (int x = 0; x < 640; x += 5) {
            for (int c = 0; c < 3; ++c) {
                ASSERT_EQ(at(half, 640, x, y, c), at(big, 1280, x * 2, y * 2, c))
                    << x << "," << y << "," << c;
            }
        }
    }

    std::vector<uint8_t> ramp(VideoFrame::Size24(1920, 1080));
    for (int y = 0; y < 1080; ++y) {
        for (int x = 0; x < 1920; ++x) {
            at(ramp, 1920, x, y, 0) = 77;                                    // flat
            at(ramp, 1920, x, y, 1) = static_cast<uint8_t>(x * 255 / 1919);  // rising
            at(ramp, 1920, x, y, 2) = static_cast<uint8_t>(y * 255 / 1079);
        }
    }
    scaler.prepare({1920, 1080}, {640, 480});
    std::vector<uint8_t> small(VideoFrame::Size24(640, 480));
    scaler.scale(ramp.data(), small.data());
    for (int y = 0; y < 480; ++y) {
        for (int x = 0; x < 640; ++x) {
            ASSERT_EQ(at(small, 640, x, y, 0), 77) << x << "," << y;
            if (x > 0) {
                ASSERT_GE(at(small, 640, x, y, 1), at(small, 640, x - 1, y, 1)) << x << "," << y;
            }
        }
    }
    EXPECT_LE(at(small, 640, 0, 0, 1), 2);
    EXPECT_GE(at(small, 640, 639, 479, 2), 253);

    scaler.prepare({1280, 720}, {1280, 720});
    std::vector<uint8_t> same(big.size());
    scaler.scale(big.data(), same.data());
    EXPECT_EQ(same, big);
}

// Letterboxed, a wide picture keeps its proportions inside a 4:3 one (black
// bands above and below) and a 4:3 picture inside a wide one (black bands
// left and right); what lies inside is the picture, scaled.
TEST(PictureScalerTest, LetterboxesIntoAnotherShape) {
    std::vector<uint8_t> wide(VideoFrame::Size24(1280, 720), 200);
    PictureScaler scaler;
    scaler.prepare({1280, 720}, {640, 480}, PictureScaler::Fit::Letterbox);
    std::vector<uint8_t> boxed(VideoFrame::Size24(640, 480), 7);
    scaler.scale(wide.data(), boxed.data());
    for (int x = 0; x < 640; x += 13) {
        EXPECT_EQ(at(boxed, 640, x, 0, 1), 0) << x;
        EXPECT_EQ(at(boxed, 640, x, 59, 2), 0) << x;
        EXPECT_EQ(at(boxed, 640, x, 60, 0), 200) << x;
        EXPECT_EQ(at(boxed, 640, x, 419, 1), 200) << x;
        EXPECT_EQ(at(boxed, 640, x, 420, 2), 0) << x;
        EXPECT_EQ(at(boxed, 640, x, 479, 0), 0) << x;
    }

    std::vector<uint8_t> square(VideoFrame::Size24(640, 480), 90);
    scaler.prepare({640, 480}, {1920, 1080}, PictureScaler::Fit::Letterbox);
    std::vector<uint8_t> pillared(VideoFrame::Size24(1920, 1080), 7);
    scaler.scale(square.data(), pillared.data());
    for (int y = 0; y < 1080; y += 11) {
        EXPECT_EQ(at(pillared, 1920, 239, y, 0), 0) << y;
        EXPECT_EQ(at(pillared, 1920, 240, y, 1), 90) << y;
        EXPECT_EQ(at(pillared, 1920, 1679, y, 2), 90) << y;
        EXPECT_EQ(at(pillared, 1920, 1680, y, 0), 0) << y;
    }
}
