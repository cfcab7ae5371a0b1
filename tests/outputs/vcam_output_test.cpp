#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "base/output_mode.h"
#include "channel/channel_names.h"
#include "outputs/vcam_output.h"
#include "tests/support/child_process.h"
#include "tests/support/eventually.h"
#include "tests/support/runtime_dir.h"
#include "tests/support/test_frames.h"

namespace {
std::vector<uint8_t> readBlock(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

uint32_t sequenceOf(const std::vector<uint8_t>& block) {
    uint32_t sequence;
    std::memcpy(&sequence, block.data() + 12, sizeof sequence);
    return sequence;
}

// "WIDTHxHEIGHT@RATE" as the block's header says, the rate field as stored.
std::string headerSays(const std::vector<uint8_t>& block) {
    if (block.size() < 144) {
        return "no block";
    }
    int16_t width, height;
    uint16_t rate;
    std::memcpy(&width, block.data() + 2, sizeof width);
    std::memcpy(&height, block.data() + 4, sizeof height);
    std::memcpy(&rate, block.data() + 6, sizeof rate);
    return std::to_string(width) + "x" + std::to_string(height) + "@" + std::to_string(rate);
}

// Feeds `frame` until the block holds it; what the header then says, or
// what it said when the deadline passed.
std::string feedUntilPublished(VCamOutput* output, const std::string& path,
                               const std::vector<uint8_t>& frame, int32_t width, int32_t height) {
    std::vector<uint8_t> block;
    bool published = eventually([&] {
        output->OnFrame24(frame.data(), frame.size(), width, height);
        block = readBlock(path);
        return block.size() == frame.size() + 144 &&
               std::equal(frame.begin(), frame.end(), block.begin() + 144);
    });
    return published ? headerSays(block) : "never published, header " + headerSays(block);
}
}  // namespace

// The output is a process-wide object, so each case runs in a process of its own.
TEST(VCamOutputTest, OnlyWholeTwentyFourBitFramesReachTheChannel) {
    ScopedRuntimeDir runtime;
    ChildProcess child;
    ASSERT_TRUE(child.fork([&](int out) -> int {
        VCamOutput* output = VCamOutput::instance();
        std::string path = runtime.file(kVCamBlockName);
        auto frame32 = makePatternFrame32(2);
        auto frame24 = dropFourthByte(frame32);
        output->OnFrame32(frame32.data(), frame32.size(), 640, 480);
        bool untouched = sequenceOf(readBlock(path)) == 0;
        output->OnFrame24(frame24.data(), frame24.size() - 1, 640, 480);
        bool shortRefused = sequenceOf(readBlock(path)) == 0;
        output->OnFrame24(frame24.data(), frame24.size(), 640, 480);
        auto block = readBlock(path);
        bool written = sequenceOf(block) == 1 &&
                       std::equal(frame24.begin(), frame24.end(), block.begin() + 144);
        writeAll(out, std::string(output->isPublishing() ? "publishing" : "off") +
                          (untouched ? " untouched" : " touched") +
                          (shortRefused ? " refused" : " accepted") +
                          (written ? " written" : " missing") + "\n");
        std::exit(0);  // a normal exit, so the output's destruction runs
    }));
    std::string line;
    ASSERT_TRUE(child.readLine(&line));
    EXPECT_EQ(line, "publishing untouched refused written");
    EXPECT_EQ(child.wait(), 0);
    EXPECT_NE(access(runtime.file(kVCamBlockName).c_str(), F_OK), 0) << "removed at exit";
}

TEST(VCamOutputTest, StaysInertWhenTheChannelCannotStart) {
    ChildProcess child;
    ASSERT_TRUE(child.fork([](int out) {
        setenv("XDG_RUNTIME_DIR", "/nonexistent/lumora", 1);
        VCamOutput* output = VCamOutput::instance();
        auto frame24 = dropFourthByte(makePatternFrame32(1));
        output->OnFrame24(frame24.data(), frame24.size(), 640, 480);
        writeAll(out, output->isPublishing() ? "publishing\n" : "inert\n");
        return 0;
    }));
    std::string line;
    ASSERT_TRUE(child.readLine(&line));
    EXPECT_EQ(line, "inert");
    EXPECT_EQ(child.wait(), 0);
}

// The frames change size (a mode change of the graph): the block follows
// them and the header carries the rate of the mode the UI told, from the
// first frame of that mode's size on. Frames of the old size that still come
// after the mode was told keep the old rate, so size and rate change in one
// header. Back at the default the rate field is 0 again.
TEST(VCamOutputTest, TheChannelFollowsTheFramesSizeAndCarriesTheRate) {
    ScopedRuntimeDir runtime;
    ChildProcess child;
    ASSERT_TRUE(child.fork([&](int out) -> int {
        VCamOutput* output = VCamOutput::instance();
        std::string path = runtime.file(kVCamBlockName);
        auto small = makePatternFrame24(640, 480, 1);
        auto large = makePatternFrame24(1280, 720, 2);
        auto full = makePatternFrame24(1920, 1080, 3);
        auto smallAgain = makePatternFrame24(640, 480, 4);
        auto fullAgain = makePatternFrame24(1920, 1080, 5);
        std::string said = feedUntilPublished(output, path, small, 640, 480);
        output->SetMode(kHd720Mode);
        said += " " + feedUntilPublished(output, path, smallAgain, 640, 480);
        // The first frame of a new size is never written into the old block.
        output->OnFrame24(large.data(), large.size(), 1280, 720);
        // (The block may already be made anew at the new size by then; what
        // counts is that this frame is not in it.)
        auto block = readBlock(path);
        bool holdsIt = block.size() == large.size() + 144 &&
                       std::equal(large.begin(), large.end(), block.begin() + 144);
        said += holdsIt ? " written-at-once" : " skipped";
        said += " " + feedUntilPublished(output, path, large, 1280, 720);
        output->SetMode(kHd1080Mode);
        said += " " + feedUntilPublished(output, path, full, 1920, 1080);
        output->SetMode(kStandardMode);
        said += " " + feedUntilPublished(output, path, fullAgain, 1920, 1080);
        said += " " + feedUntilPublished(output, path, small, 640, 480);
        said += " " + std::to_string(readBlock(path).size());
        writeAll(out, said + "\n");
        std::exit(0);
    }));
    std::string line;
    ASSERT_TRUE(child.readLine(&line));
    EXPECT_EQ(line,
              "640x480@0 640x480@0 skipped 1280x720@30 1920x1080@30 1920x1080@30 640x480@0 921744");
    EXPECT_EQ(child.wait(), 0);
    EXPECT_NE(access(runtime.file(kVCamBlockName).c_str(), F_OK), 0) << "removed at exit";
}
