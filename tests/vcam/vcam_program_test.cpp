#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>

#include "channel/virtual_camera_server.h"
#include "tests/support/child_process.h"
#include "tests/support/runtime_dir.h"
#include "tests/support/test_frames.h"

namespace {
constexpr size_t kBgrFrame = 640 * 480 * 3;

std::string vcamProgram() {
    return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "lumora-vcam").string();
}

// The channel frame (bottom row first) as lumora-vcam's bgr24 output shows it.
std::vector<uint8_t> topFirst(const std::vector<uint8_t>& channelFrame) {
    std::vector<uint8_t> out(channelFrame.size());
    for (size_t row = 0; row < 480; ++row) {
        std::copy_n(channelFrame.begin() + (479 - row) * 1920, 1920, out.begin() + row * 1920);
    }
    return out;
}

// Reads frames until one equals `expected`; false when none did among `limit`.
bool readUntil(ChildProcess& reader, const std::vector<uint8_t>& expected, int limit) {
    std::vector<uint8_t> frame(kBgrFrame);
    for (int i = 0; i < limit; ++i) {
        if (!reader.readExactly(frame.data(), frame.size())) {
            return false;
        }
        if (frame == expected) {
            return true;
        }
    }
    return false;
}
}  // namespace

TEST(VCamProgramTest, RepeatsBlackThenTheLastPictureWhileNoWriterRuns) {
    ScopedRuntimeDir runtime;  // no writer here yet
    ChildProcess reader;
    ASSERT_TRUE(reader.spawn(vcamProgram(), {"--output", "-", "--format", "bgr24"}));
    std::vector<uint8_t> frame(kBgrFrame);
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(reader.readExactly(frame.data(), frame.size()));
        EXPECT_EQ(frame, std::vector<uint8_t>(kBgrFrame, 0)) << "black before any picture";
    }

    auto picture = dropFourthByte(makePatternFrame32(6));
    {
        VirtualCameraServer writer;
        ASSERT_TRUE(writer.start(640, 480));
        writer.writeFrame(picture.data(), picture.size());
        EXPECT_TRUE(readUntil(reader, topFirst(picture), 60)) << "the picture arrives";
    }                               // the writer stops and its block goes away
    for (int i = 0; i < 40; ++i) {  // past the reader's 50-repeat reopening cycle
        ASSERT_TRUE(reader.readExactly(frame.data(), frame.size()));
        ASSERT_EQ(frame, topFirst(picture)) << "frame " << i << " after the writer stopped";
    }
    reader.signal(SIGTERM);
    EXPECT_EQ(reader.wait(), 0) << "SIGTERM ends it cleanly";
}

TEST(VCamProgramTest, AutoWithoutALoopbackDeviceExitsQuietly) {
    ChildProcess reader;
    ASSERT_TRUE(reader.spawn(vcamProgram(), {"--auto"}));
    EXPECT_EQ(reader.wait(), 0);
    std::string line;
    EXPECT_FALSE(reader.readLine(&line, std::chrono::milliseconds(100))) << line;
}

TEST(VCamProgramTest, HelpExplainsTheModuleAndMistakesFail) {
    ChildProcess help;
    ASSERT_TRUE(help.spawn(vcamProgram(), {"--help"}));
    std::string text, line;
    while (help.readLine(&line)) {
        text += line + "\n";
    }
    EXPECT_EQ(help.wait(), 0);
    EXPECT_NE(
        text.find("sudo modprobe v4l2loopback exclusive_caps=1 card_label=\"Lumora直播伴侣\""),
        std::string::npos)
        << text;

    ChildProcess wrong;
    ASSERT_TRUE(wrong.spawn(vcamProgram(), {"--format", "nv12", "--output", "-"}));
    EXPECT_EQ(wrong.wait(), 2);
}

TEST(VCamProgramTest, AMissingDeviceIsAnErrorNotAHang) {
    ChildProcess reader;
    ASSERT_TRUE(reader.spawn(vcamProgram(), {"--device", "/dev/video-nonexistent"}));
    EXPECT_EQ(reader.wait(), 1);
}
