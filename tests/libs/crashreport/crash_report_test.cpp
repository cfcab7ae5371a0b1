#include <gtest/gtest.h>

#include <signal.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "libs/crashreport/crash_main_installer.h"
#include "tests/support/child_process.h"
#include "tests/support/test_media.h"

namespace {
// Runs the helper with its reports under `state`; returns how it ended.
int crash(const std::string& how, const std::string& state, const std::string& reporter) {
    setenv("XDG_STATE_HOME", state.c_str(), 1);
    setenv("LUMORA_CRASH_REPORTER", reporter.c_str(), 1);
    ChildProcess child;
    EXPECT_TRUE(child.spawn(LUMORA_CRASH_HELPER, {how}));
    return child.wait(std::chrono::seconds(60));
}

std::vector<std::filesystem::path> reportsIn(const std::string& state) {
    std::vector<std::filesystem::path> found;
    std::filesystem::path folder = std::filesystem::path(state) / "LumoraBox/crashes";
    if (std::filesystem::exists(folder)) {
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            found.push_back(entry.path());
        }
    }
    return found;
}
}  // namespace

TEST(CrashReportTest, ASegmentationFaultLeavesAReportNamingTheFaultingFunction) {
    ScratchDir state;
    std::string noted = state.file("reporter-was-given");
    std::string reporter = state.file("reporter.sh");
    // Written aside and renamed, so the file appears whole: the shell
    // creates the target of `>` before echo writes into it.
    std::ofstream(reporter) << "#!/bin/sh\necho \"$1\" > '" << noted << ".part' && mv '" << noted
                            << ".part' '" << noted << "'\n";
    std::filesystem::permissions(reporter, std::filesystem::perms::owner_all);

    EXPECT_EQ(crash("segv", state.file("state"), reporter), 128 + SIGSEGV)
        << "the signal still ends the process";
    auto reports = reportsIn(state.file("state"));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].filename().string().rfind("crash-", 0), 0u);
    std::string report = contentsOf(reports[0]);
    EXPECT_NE(report.find("program: Lumora直播伴侣"), std::string::npos) << report;
    EXPECT_NE(report.find("version: 1.1.8.0"), std::string::npos);
    EXPECT_NE(report.find("signal: 11"), std::string::npos);
    EXPECT_NE(report.find("faultInHere"), std::string::npos) << report;
    EXPECT_NE(report.find("crash_helper.cpp"), std::string::npos) << "with its source line";

    for (int waited = 0; waited < 100 && !std::filesystem::exists(noted); ++waited) {
        usleep(50000);
    }
    EXPECT_EQ(contentsOf(noted), reports[0].string() + "\n") << "the reporter gets the report";
}

TEST(CrashReportTest, AnAbortIsReportedAndNoReporterIsStartedWhenNoneIsSet) {
    ScratchDir state;
    EXPECT_EQ(crash("abort", state.file("state"), ""), 128 + SIGABRT);
    auto reports = reportsIn(state.file("state"));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(contentsOf(reports[0]).find("signal: 6"), std::string::npos);

    EXPECT_EQ(crash("nothing", state.file("state"), ""), 0) << "no crash, no report";
    EXPECT_EQ(reportsIn(state.file("state")).size(), 1u);
    setenv("XDG_STATE_HOME", "/proc/forbidden", 1);
    EXPECT_EQ(CrashMainInstaller::reportFolder(), "/proc/forbidden/LumoraBox/crashes");
    CrashMainInstaller installer;
    EXPECT_FALSE(installer.install()) << "a folder that cannot be made is a failed set-up";
}
