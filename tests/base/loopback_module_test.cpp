#include "base/loopback_module.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/support/test_media.h"

namespace {
namespace fs = std::filesystem;

void writeFile(const std::string& path, const std::string& text) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path) << text;
}

// A machine in a folder: /sys/module, /lib/modules/<release> and the
// configuration roots, all empty at first.
struct FakeMachine {
    ScratchDir scratch;
    LoopbackPlaces places() const {
        LoopbackPlaces places;
        places.moduleDir = scratch.file("sys/module/v4l2loopback");
        places.modulesDir = scratch.file("lib/modules/6.1.0-test");
        places.configRoots = {scratch.file("etc"), scratch.file("usr/lib")};
        return places;
    }
};
}  // namespace

TEST(LoopbackModuleTest, ModprobeTakesThePackagedOptionsWithTheLabelsKeptTogether) {
    EXPECT_EQ(loopbackModprobeArguments(),
              (std::vector<std::string>{"v4l2loopback", "devices=2", "exclusive_caps=1,1",
                                        "card_label=\"Lumora直播伴侣,Lumora直播伴侣 2\""}));
}

TEST(LoopbackModuleTest, TheBootFilesAreThePackagedOnesWordForWord) {
    const auto& files = loopbackBootFiles();
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0].folder, "modprobe.d");
    EXPECT_EQ(files[0].name, "lumora-v4l2loopback.conf");
    EXPECT_EQ(files[0].text, contentsOf(LUMORA_PACKAGING_DIR "/lumora-v4l2loopback.conf"));
    EXPECT_EQ(files[1].folder, "modules-load.d");
    EXPECT_EQ(files[1].name, "lumora.conf");
    EXPECT_EQ(files[1].text, contentsOf(LUMORA_PACKAGING_DIR "/lumora-modules-load.conf"));
    EXPECT_NE(files[1].text.find("\nv4l2loopback\n"), std::string::npos);
}

TEST(LoopbackModuleTest, TheModuleIsMissingUntilModprobeCanFindIt) {
    FakeMachine machine;
    LoopbackPlaces places = machine.places();
    EXPECT_EQ(loopbackModuleState(places), LoopbackModule::Missing) << "no modules.dep at all";

    writeFile(places.modulesDir + "/modules.dep",
              "kernel/drivers/media/v4l2-core/videodev.ko.xz: kernel/drivers/media/mc/mc.ko.xz\n"
              "updates/dkms/v4l2loopback_other.ko.xz:\n");
    EXPECT_EQ(loopbackModuleState(places), LoopbackModule::Missing) << "a module of another name";

    writeFile(places.modulesDir + "/modules.dep",
              "kernel/drivers/media/mc/mc.ko.xz:\n"
              "updates/dkms/v4l2loopback.ko.xz: kernel/drivers/media/v4l2-core/videodev.ko.xz\n");
    EXPECT_EQ(loopbackModuleState(places), LoopbackModule::Installed);

    fs::create_directories(places.moduleDir);
    EXPECT_EQ(loopbackModuleState(places), LoopbackModule::Loaded);
}

TEST(LoopbackModuleTest, ABuiltInModuleCountsAsInstalled) {
    FakeMachine machine;
    LoopbackPlaces places = machine.places();
    writeFile(places.modulesDir + "/modules.builtin", "kernel/drivers/media/v4l2loopback.ko\n");
    EXPECT_EQ(loopbackModuleState(places), LoopbackModule::Installed);
}

TEST(LoopbackModuleTest, KeptAtBootOnlyWhenBothFilesLieInSomeRoot) {
    FakeMachine machine;
    LoopbackPlaces places = machine.places();
    const auto& files = loopbackBootFiles();
    EXPECT_FALSE(loopbackKeptAtBoot(places));
    writeFile(places.configRoots[1] + "/modprobe.d/lumora-v4l2loopback.conf", files[0].text);
    EXPECT_TRUE(bootFilePresent(places, files[0]));
    EXPECT_FALSE(bootFilePresent(places, files[1]));
    EXPECT_FALSE(loopbackKeptAtBoot(places)) << "the module would not be loaded at boot";
    writeFile(places.configRoots[0] + "/modules-load.d/lumora.conf", files[1].text);
    EXPECT_TRUE(loopbackKeptAtBoot(places));
}
