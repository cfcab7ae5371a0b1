#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "app/helper_keeper.h"
#include "app/helper_process.h"
#include "tests/support/runtime_dir.h"

using namespace std::chrono_literals;

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

namespace {
// Zombie children of this process: ended, not yet reaped.
int zombieChildren() {
    int zombies = 0;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!std::getline(stat, line)) {
            continue;
        }
        // pid (comm) state ppid ...: the comm may hold spaces, so read after ')'.
        std::istringstream rest(line.substr(line.rfind(')') + 1));
        char state = 0;
        int parent = 0;
        rest >> state >> parent;
        zombies += state == 'Z' && parent == ::getpid();
    }
    return zombies;
}

bool eventuallyWithEvents(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}
}  // namespace

// The application's keeper of lumora-vcam: an ended helper is reaped (no
// <defunct> child for the rest of the session), one that died is started
// again, a few times a minute at most, one that finished well is left be.
TEST(HelperKeeperTest, ReapsTheHelperAndStartsItAgainWhenItDies) {
    int argc = 1;
    char name[] = "app_tests";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);

    HelperKeeper finished("/bin/true", {}, nullptr, 50);
    ASSERT_TRUE(finished.start());
    EXPECT_TRUE(eventuallyWithEvents([] { return zombieChildren() == 0; }, 5s))
        << "the ended helper was reaped without anyone asking";
    EXPECT_FALSE(eventuallyWithEvents([&] { return finished.restarts() > 0; }, 300ms))
        << "a helper that finished well is not started again";

    HelperKeeper dying("/bin/sh", {"-c", "kill -9 $$"}, nullptr, 50);
    ASSERT_TRUE(dying.start());
    EXPECT_TRUE(eventuallyWithEvents(
        [&] { return dying.restarts() == HelperKeeper::kRestartsPerMinute; }, 10s));
    EXPECT_FALSE(eventuallyWithEvents(
        [&] { return dying.restarts() > HelperKeeper::kRestartsPerMinute; }, 500ms))
        << "no more than five starts a minute";
    EXPECT_TRUE(eventuallyWithEvents([] { return zombieChildren() == 0; }, 5s));
}

// A helper that cannot be started at first (here its file is not yet
// executable, as while a package is being unpacked) is tried again at the
// keeper's next looks, and runs once it can.
TEST(HelperKeeperTest, AHelperThatCouldNotStartIsTriedAgain) {
    int argc = 1;
    char name[] = "app_tests";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    ScopedRuntimeDir scratch;
    std::string program = scratch.file("helper.sh");
    std::string marker = scratch.file("ran");
    std::ofstream(program) << "#!/bin/sh\ntouch '" << marker << "'\nexec sleep 60\n";
    namespace fs = std::filesystem;
    fs::permissions(program, fs::perms::owner_read | fs::perms::owner_write);

    HelperKeeper keeper(program, {}, nullptr, 50);
    EXPECT_FALSE(keeper.start());
    fs::permissions(program, fs::perms::owner_exec, fs::perm_options::add);
    EXPECT_TRUE(eventuallyWithEvents([&] { return fs::exists(marker); }, 10s))
        << "the helper was started again once it could be";
    EXPECT_TRUE(keeper.isRunning());
    EXPECT_GE(keeper.restarts(), 1);
}
