#include <gtest/gtest.h>

#include "tests/support/test_components.h"
#include "tests/support/test_frames.h"

namespace {
std::vector<uint8_t> copyOut(const VideoSource& source) {
    std::vector<uint8_t> out(source.FrameSize(), 0);
    if (!source.CopyFrameIfValid(out.data(), out.size())) {
        out.clear();
    }
    return out;
}
}  // namespace

TEST(VideoSourceTest, StartsAtFullSizeWithoutAValidFrame) {
    ManualSource source;
    EXPECT_EQ(source.Width(), 640);
    EXPECT_EQ(source.Height(), 480);
    EXPECT_EQ(source.FrameSize(), 1228800u);
    EXPECT_FALSE(source.FrameValid());
    EXPECT_TRUE(copyOut(source).empty());
}

TEST(VideoSourceTest, PushedFrameIsCopiedAndSurvivesTheCallersBuffer) {
    ManualSource source;
    auto frame = makePatternFrame32(3);
    source.PushFrame(frame.data(), frame.size());
    auto expected = frame;
    std::fill(frame.begin(), frame.end(), 0);
    EXPECT_TRUE(source.FrameValid());
    EXPECT_EQ(copyOut(source), expected);
}

TEST(VideoSourceTest, NullPushChangesNothingAndOversizedPushIsClipped) {
    ManualSource source;
    source.PushFrame(nullptr, 1228800);
    EXPECT_FALSE(source.FrameValid());

    std::vector<uint8_t> huge(VideoFrame::kSize32 * 2, 0x5A);
    source.PushFrame(huge.data(), huge.size());
    auto kept = copyOut(source);
    ASSERT_EQ(kept.size(), VideoFrame::kSize32);
    EXPECT_EQ(kept, std::vector<uint8_t>(VideoFrame::kSize32, 0x5A));
}

TEST(VideoSourceTest, SameSizeKeepsTheFrameNewSizeDropsIt) {
    ManualSource source;
    auto frame = makePatternFrame32(9);
    source.PushFrame(frame.data(), frame.size());

    source.SetFrameSize(640, 480);
    EXPECT_TRUE(source.FrameValid());
    EXPECT_EQ(copyOut(source), frame);

    source.SetFrameSize(320, 240);
    EXPECT_FALSE(source.FrameValid());
    EXPECT_EQ(source.FrameSize(), 320u * 240u * 4u);
    // A frame of the new size is valid again; it never grows past the buffer.
    source.PushFrame(frame.data(), frame.size());
    EXPECT_TRUE(source.FrameValid());
    EXPECT_EQ(copyOut(source).size(), 320u * 240u * 4u);
}

TEST(VideoSourceTest, SetFrameValidFalseHidesTheFrameUntilTheNextOne) {
    ManualSource source;
    auto frame = makePatternFrame32(1);
    source.PushFrame(frame.data(), frame.size());
    source.SetFrameValid(false);
    EXPECT_TRUE(copyOut(source).empty());
    source.PushFrame(frame.data(), frame.size());
    EXPECT_EQ(copyOut(source), frame);
}

TEST(VideoFrameTest, RowRuleAndBottomRowFirstHelpers) {
    EXPECT_EQ(VideoFrame::RowBytes(640, 24), 1920u);
    EXPECT_EQ(VideoFrame::RowBytes(641, 24), 1924u);  // padded to 4 bytes
    EXPECT_EQ(VideoFrame::Size24(641, -3), 1924u * 3u);
    EXPECT_EQ(VideoFrame::Size32(7, 5), 7u * 5u * 4u);

    // Three rows of 4 bytes: top row "1", middle "2", bottom "3".
    std::vector<uint8_t> topFirst = {1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3};
    std::vector<uint8_t> bottomFirst(12);
    VideoFrame::CopyFlipped(topFirst.data(), bottomFirst.data(), 4, 3);
    EXPECT_EQ(bottomFirst, (std::vector<uint8_t>{3, 3, 3, 3, 2, 2, 2, 2, 1, 1, 1, 1}));
    EXPECT_EQ(*VideoFrame::PictureRow(bottomFirst.data(), 4, 3, 0), 1);
    EXPECT_EQ(*VideoFrame::PictureRow(bottomFirst.data(), 4, 3, 2), 3);
}
