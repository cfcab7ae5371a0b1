#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "app/helper_process.h"
#include "tests/support/runtime_dir.h"

TEST(HelperProcessTest, StartsAProgramAndEndsItPolitely) {
    ScopedRuntimeDir scratch;
    std::string marker = scratch.file("ended");
    // A helper that notes when it is asked to end.
    HelperProcess helper;
    ASSERT_TRUE(helper.start("/bin/sh", {"-c", "trap 'touch " + marker +
                                                   "; exit 0' TERM; "
                                                   "while true; do sleep 0.05; done"}));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_TRUE(helper.isRunning());
    helper.stop();
    EXPECT_FALSE(helper.isRunning());
    EXPECT_TRUE(std::filesystem::exists(marker)) << "SIGTERM came first";
}

TEST(HelperProcessTest, AHelperThatIgnoresTheRequestIsKilled) {
    HelperProcess helper;
    ASSERT_TRUE(helper.start("/bin/sh", {"-c", "trap '' TERM; while true; do sleep 0.05; done"}));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    auto started = std::chrono::steady_clock::now();
    helper.stop();
    EXPECT_FALSE(helper.isRunning());
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
}

TEST(HelperProcessTest, AMissingProgramIsReportedAndAFinishedOneIsNoticed) {
    HelperProcess missing;
    EXPECT_FALSE(missing.start("/nonexistent/lumora-vcam", {"--auto"}));
    EXPECT_FALSE(missing.isRunning());
    missing.stop();  // nothing to stop

    HelperProcess quick;
    ASSERT_TRUE(quick.start("/bin/true", {}));
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (quick.isRunning() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_FALSE(quick.isRunning());
    EXPECT_FALSE(executableDirectory().empty());
    EXPECT_TRUE(std::filesystem::exists(executableDirectory() + "/app_tests"));
}
