#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "tests/support/child_process.h"
#include "tests/support/test_media.h"

// The real program, started as a person starts it, on a private X server.
namespace {
using namespace std::chrono_literals;

class PrivateDisplay : public ::testing::Environment {
public:
    void SetUp() override {
        server_ = std::make_unique<ChildProcess>();
        ASSERT_TRUE(server_->spawn("/usr/bin/Xvfb", {"-displayfd", "1", "-screen", "0",
                                                     "1280x1024x24", "-nolisten", "tcp"}));
        std::string number;
        ASSERT_TRUE(server_->readLine(&number, 20s)) << "Xvfb did not start";
        setenv("DISPLAY", (":" + number).c_str(), 1);
    }
    void TearDown() override {
        server_->signal(SIGTERM);
        server_->wait();
    }

private:
    std::unique_ptr<ChildProcess> server_;
};
const auto* const g_display = ::testing::AddGlobalTestEnvironment(new PrivateDisplay);

std::string contentsOf(const std::filesystem::path& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A fresh home for each test: settings, documents, runtime folder, state.
struct Home {
    ScratchDir folder;
    Home() {
        setenv("HOME", folder.file("").c_str(), 1);
        setenv("XDG_CONFIG_HOME", folder.file("config").c_str(), 1);
        setenv("XDG_CACHE_HOME", folder.file("cache").c_str(), 1);
        setenv("XDG_STATE_HOME", folder.file("state").c_str(), 1);
        std::string runtime = folder.file("run");
        mkdir(runtime.c_str(), 0700);
        setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        setenv("LUMORA_FAKE_CAMERAS", "1", 1);
        setenv("LUMORA_CRASH_REPORTER", "", 1);
        unsetenv("QT_QPA_PLATFORM");
    }
    std::string settings() const { return contentsOf(folder.file("config/LumoraBox/Lumora.conf")); }
};

// Lumora with its standard error joined to the output the test reads.
std::unique_ptr<ChildProcess> startLumora() {
    auto lumora = std::make_unique<ChildProcess>();
    EXPECT_TRUE(lumora->spawn("/bin/sh", {"-c", "exec \"$0\" 2>&1", LUMORA_PROGRAM}));
    return lumora;
}

// The id of the visible main window, or "" when none shows within `limit`.
std::string visibleWindow(std::chrono::seconds limit = 20s) {
    ChildProcess search;
    search.spawn("/usr/bin/timeout", {std::to_string(limit.count()), "xdotool", "search", "--sync",
                                      "--onlyvisible", "--name", "Lumora"});
    std::string id;
    search.readLine(&id, limit + 5s);
    search.wait();
    return id;
}

bool readsLine(ChildProcess& process, const std::string& wanted, std::chrono::seconds limit) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    std::string line;
    while (std::chrono::steady_clock::now() < deadline) {
        if (!process.readLine(&line, 1s))
            continue;
        if (line.find(wanted) != std::string::npos)
            return true;
    }
    return false;
}

void xdotool(const std::vector<std::string>& arguments) {
    ChildProcess tool;
    tool.spawn("/usr/bin/xdotool", arguments);
    tool.wait();
}
}  // namespace

TEST(ProgramTest, ItShowsItsWindowAndASecondStartHandsOverAndLeaves) {
    Home home;
    auto first = startLumora();
    ASSERT_FALSE(visibleWindow().empty()) << "the main window shows";

    auto second = startLumora();
    auto began = std::chrono::steady_clock::now();
    EXPECT_EQ(second->wait(6s), 0) << "the second start exits 0";
    EXPECT_LT(std::chrono::steady_clock::now() - began, 6s);
    EXPECT_TRUE(readsLine(*first, "app message: activate window", 10s));

    first->signal(SIGTERM);
    EXPECT_EQ(first->wait(15s), 0);
}

TEST(ProgramTest, AKilledFirstCopyDoesNotStopTheNextStart) {
    Home home;
    auto crashed = startLumora();
    ASSERT_FALSE(visibleWindow().empty());
    crashed->signal(SIGKILL);
    crashed->wait();

    auto next = startLumora();
    EXPECT_FALSE(visibleWindow().empty()) << "the stale socket is taken over";
    EXPECT_EQ(next->wait(2s), -1) << "and the new copy keeps running";
    next->signal(SIGTERM);
    EXPECT_EQ(next->wait(15s), 0);
}

TEST(ProgramTest, ClosingKeepsItRunningAndQuittingSavesTheSettings) {
    Home home;
    auto lumora = startLumora();
    std::string window = visibleWindow();
    ASSERT_FALSE(window.empty());
    // The close button sits at the right end of the 40-pixel title bar.
    xdotool({"mousemove", "--window", window, "948", "28", "click", "1"});
    // Xvfb has no tray (and no window manager to show a minimised window).
    EXPECT_TRUE(readsLine(*lumora, "window closed: minimised, the desktop has no tray", 5s));
    EXPECT_EQ(lumora->wait(1s), -1) << "the program goes on";

    lumora->signal(SIGTERM);  // as the session ends it, or the tray's 退出
    EXPECT_EQ(lumora->wait(15s), 0);
    std::string settings = home.settings();
    EXPECT_NE(settings.find("effect_3="), std::string::npos) << "the camera page saved";
    EXPECT_NE(settings.find("effect_2="), std::string::npos) << "the caption page saved";
}

TEST(ProgramTest, AFatalSignalLeavesACrashReport) {
    Home home;
    auto lumora = startLumora();
    ASSERT_FALSE(visibleWindow().empty());
    lumora->signal(SIGSEGV);
    EXPECT_EQ(lumora->wait(30s), 128 + SIGSEGV);
    std::filesystem::path folder = home.folder.file("state/LumoraBox/crashes");
    ASSERT_TRUE(std::filesystem::exists(folder));
    auto entry = std::filesystem::directory_iterator(folder);
    ASSERT_NE(entry, std::filesystem::directory_iterator());
    std::string report = contentsOf(entry->path());
    EXPECT_NE(report.find("version: 1.1.8.0"), std::string::npos) << report;
    EXPECT_NE(report.find("signal: 11"), std::string::npos);
    EXPECT_NE(report.find("Stack trace"), std::string::npos);
}
