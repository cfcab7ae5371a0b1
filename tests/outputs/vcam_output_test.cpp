#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "channel/channel_names.h"
#include "outputs/vcam_output.h"
#include "tests/support/child_process.h"
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
