#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "libs/recorder/flv_repair.h"
#include "tests/support/test_media.h"

namespace {
void append(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::app);
    out << bytes;
}
}  // namespace

TEST(FlvRepairTest, ATagCutOffByACrashIsRemovedAndTheRestKept) {
    ScratchDir folder;
    std::string path = folder.file("recording.flv");
    TestVideo video;
    video.seconds = 2.0;
    ASSERT_TRUE(makeTestVideo(path, video));
    std::string whole = contentsOf(path);

    FlvRepairResult untouched = repairFlvTail(path);
    EXPECT_TRUE(untouched.isFlv);
    EXPECT_EQ(untouched.bytesCut, 0);
    EXPECT_GT(untouched.tags, 30);
    EXPECT_NEAR(untouched.lastTimestampMs, 2000, 150);
    EXPECT_EQ(contentsOf(path), whole) << "a whole file is left alone";

    // A video tag announcing 5,000 bytes, of which only 100 made it to disk.
    std::string partial("\x09\x00\x13\x88\x00\x08\x00\x00\x00\x00\x00", 11);
    partial += std::string(100, '\x17');
    append(path, partial);
    FlvRepairResult repaired = repairFlvTail(path);
    EXPECT_EQ(repaired.bytesCut, static_cast<int64_t>(partial.size()));
    EXPECT_EQ(repaired.tags, untouched.tags);
    EXPECT_EQ(repaired.lastTimestampMs, untouched.lastTimestampMs);
    EXPECT_EQ(contentsOf(path), whole) << "back to the last complete tag";

    append(path, std::string("\x08\x00", 2));  // not even a whole tag header
    EXPECT_EQ(repairFlvTail(path).bytesCut, 2);
}

TEST(FlvRepairTest, OtherFilesAreLeftAlone) {
    ScratchDir folder;
    std::string text = folder.file("notes.flv_tmp");
    std::ofstream(text) << "not a video at all";
    FlvRepairResult result = repairFlvTail(text);
    EXPECT_FALSE(result.isFlv);
    EXPECT_EQ(contentsOf(text), "not a video at all");
    EXPECT_FALSE(repairFlvTail(folder.file("missing.flv_tmp")).isFlv);
    std::ofstream(folder.file("empty.flv_tmp"));
    EXPECT_FALSE(repairFlvTail(folder.file("empty.flv_tmp")).isFlv);
}
