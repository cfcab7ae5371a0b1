#include "setup/loopback_setup.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "tests/support/test_media.h"

namespace {
namespace fs = std::filesystem;

std::optional<SetupAction> actionOf(std::vector<const char*> words) {
    words.insert(words.begin(), "lumora-loopback-setup");
    return setupActionOf(static_cast<int>(words.size()), words.data());
}

unsigned modeOf(const std::string& path) {
    struct stat status {};
    stat(path.c_str(), &status);
    return status.st_mode & 07777;
}
}  // namespace

TEST(LoopbackSetupTest, OnlyTheTwoFixedActionsAreTaken) {
    EXPECT_EQ(actionOf({"load"}), SetupAction::Load);
    EXPECT_EQ(actionOf({"load-and-keep"}), SetupAction::LoadAndKeep);
    EXPECT_EQ(actionOf({}), std::nullopt);
    EXPECT_EQ(actionOf({"load", "devices=8"}), std::nullopt) << "no options from the caller";
    EXPECT_EQ(actionOf({"load-and-keep", "/tmp/evil.conf"}), std::nullopt);
    EXPECT_EQ(actionOf({"LOAD"}), std::nullopt);
    EXPECT_EQ(actionOf({"load "}), std::nullopt);
    EXPECT_EQ(actionOf({"--help"}), std::nullopt);
}

TEST(LoopbackSetupTest, KeepingWritesThePackagedFilesReadableByAll) {
    ScratchDir scratch;
    mode_t callers = umask(077);  // pkexec passes on a strict mask as root's own may be
    LoopbackPlaces places;
    places.configRoots = {scratch.file("etc"), scratch.file("usr/lib")};
    std::string error;
    ASSERT_TRUE(keepLoopbackAtBoot(places, scratch.file("etc"), &error)) << error;
    for (const LoopbackBootFile& file : loopbackBootFiles()) {
        std::string path = scratch.file("etc/" + file.folder + "/" + file.name);
        EXPECT_EQ(contentsOf(path), file.text) << path;
        EXPECT_EQ(modeOf(path), 0644u) << path;
        EXPECT_FALSE(fs::exists(path + ".lumora-new")) << "no half-written file left";
    }
    umask(callers);
    EXPECT_TRUE(loopbackKeptAtBoot(places));
}

TEST(LoopbackSetupTest, InstalledFilesAreLeftToThePackage) {
    ScratchDir scratch;
    LoopbackPlaces places;
    places.configRoots = {scratch.file("etc"), scratch.file("usr/lib")};
    const LoopbackBootFile& options = loopbackBootFiles()[0];
    fs::create_directories(scratch.file("usr/lib/modprobe.d"));
    std::ofstream(scratch.file("usr/lib/modprobe.d/" + options.name)) << options.text;
    std::string error;
    ASSERT_TRUE(keepLoopbackAtBoot(places, scratch.file("etc"), &error)) << error;
    EXPECT_FALSE(fs::exists(scratch.file("etc/modprobe.d/" + options.name)))
        << "an /etc copy would hide the package's updates";
    EXPECT_TRUE(fs::exists(scratch.file("etc/modules-load.d/lumora.conf")));
}

TEST(LoopbackSetupTest, AFolderThatCannotBeWrittenIsReported) {
    ScratchDir scratch;
    LoopbackPlaces places;
    places.configRoots = {scratch.file("etc")};
    std::ofstream(scratch.file("etc")) << "a file where the folder should be";
    std::string error;
    EXPECT_FALSE(keepLoopbackAtBoot(places, scratch.file("etc"), &error));
    EXPECT_NE(error.find(scratch.file("etc")), std::string::npos) << error;
}
