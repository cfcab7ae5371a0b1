#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "tests/app/desktop_session.h"
#include "tests/support/eventually.h"

// The real program, started as a person starts it, on a private X server.
namespace {
using namespace std::chrono_literals;

// Window coordinates of the fixed 982 x 648 layout.
constexpr int kVideoTabX = 789, kPictureTabX = 840, kTabY = 78;
constexpr int kAddX = 701, kAddY = 131;
constexpr int kPlayOrderX = 713, kFittingX = 818, kBottomBarY = 617;

// Adds a file through the page's add button, typing its path into the file
// dialog as a person would.
void addThroughDialog(const std::string& window, const std::string& title,
                      const std::string& path) {
    clickAt(window, kAddX, kAddY);
    ASSERT_FALSE(visibleWindow(title, 10s).empty()) << title;
    xdotool({"type", "--delay", "20", path});
    xdotool({"key", "Return"});
}

// Opens a list of choices and takes the one below the current.
void chooseNext(const std::string& window, int x, int y) {
    clickAt(window, x, y);
    xdotool({"key", "Down", "Return"});
}

bool settingsHold(const DesktopHome& home, const std::vector<std::string>& texts) {
    std::string settings = home.settings();
    for (const std::string& text : texts) {
        if (settings.find(text) == std::string::npos)
            return false;
    }
    return true;
}
}  // namespace

TEST(ProgramTest, ItShowsItsWindowAndASecondStartHandsOverAndLeaves) {
    DesktopHome home;
    auto first = startLumora();
    ASSERT_FALSE(visibleWindow().empty()) << "the main window shows";
    if (std::getenv("G_SLICE") == nullptr) {
        // Started afresh with GLib's slices going through malloc, as the
        // same process.
        std::ifstream environ("/proc/" + std::to_string(first->pid()) + "/environ");
        std::string entries((std::istreambuf_iterator<char>(environ)), {});
        EXPECT_NE(entries.find(std::string("G_SLICE=always-malloc") + '\0'), std::string::npos);
    }
    // Known by its own name, not by the link it was started again through.
    std::ifstream name("/proc/" + std::to_string(first->pid()) + "/comm");
    std::string comm;
    std::getline(name, comm);
    EXPECT_EQ(comm, "lumora");

    auto second = startLumora();
    auto began = std::chrono::steady_clock::now();
    EXPECT_EQ(second->wait(6s), 0) << "the second start exits 0";
    EXPECT_LT(std::chrono::steady_clock::now() - began, 6s);
    EXPECT_TRUE(readsLine(*first, "app message: activate window", 10s));

    first->signal(SIGTERM);
    EXPECT_EQ(first->wait(15s), 0);
}

TEST(ProgramTest, AKilledFirstCopyDoesNotStopTheNextStart) {
    DesktopHome home;
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
    DesktopHome home;
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

// The lists and play orders are written as they are chosen: killed at once
// after, the program leaves them in its settings, and its next start keeps
// them there.
TEST(ProgramTest, ListsAndPlayOrdersSurviveAKill) {
    DesktopHome home;
    std::string video = home.folder.file("holiday clip.mp4");
    ASSERT_TRUE(makeTestVideo(video, TestVideo{}));
    std::string picture = home.folder.file("still one.png");
    commandOutput("ffmpeg -loglevel error -y -f lavfi -i color=c=blue:s=64x48 -frames:v 1 '" +
                  picture + "' 2>&1");
    ASSERT_TRUE(std::filesystem::exists(picture));
    const std::vector<std::string> chosen{"Videos=" + video, "Pics=" + picture,
                                          "effect_5=\"playseq:1;\"",
                                          "effect_4=\"keepRatio:1;playseq:1;\""};

    auto lumora = startLumora();
    std::string window = visibleWindow();
    ASSERT_FALSE(window.empty());
    clickAt(window, kVideoTabX, kTabY);
    addThroughDialog(window, "选择视频", video);
    ASSERT_TRUE(eventually([&] { return settingsHold(home, {"Videos=" + video}); }, 10s))
        << home.settings();
    chooseNext(window, kPlayOrderX, kBottomBarY);  // 列表循环
    clickAt(window, kPictureTabX, kTabY);
    addThroughDialog(window, "选择图片", picture);
    ASSERT_TRUE(eventually([&] { return settingsHold(home, {"Pics=" + picture}); }, 10s))
        << home.settings();
    chooseNext(window, kPlayOrderX, kBottomBarY);  // 列表循环
    chooseNext(window, kFittingX, kBottomBarY);    // 拉伸
    EXPECT_TRUE(eventually([&] { return settingsHold(home, chosen); }, 10s)) << home.settings();

    lumora->signal(SIGKILL);
    EXPECT_EQ(lumora->wait(15s), 128 + SIGKILL);
    EXPECT_TRUE(settingsHold(home, chosen)) << home.settings();

    auto next = startLumora();
    window = visibleWindow();
    ASSERT_FALSE(window.empty());
    clickAt(window, kVideoTabX, kTabY);  // each page puts its list back
    clickAt(window, kPictureTabX, kTabY);
    next->signal(SIGTERM);
    EXPECT_EQ(next->wait(15s), 0);
    EXPECT_TRUE(settingsHold(home, chosen)) << home.settings();
}

TEST(ProgramTest, AFatalSignalLeavesACrashReport) {
    DesktopHome home;
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

// --help speaks the language the window would: the override, then the
// choice kept in the settings, then the desktop's locale.
TEST(ProgramTest, HelpSpeaksTheWindowsLanguage) {
    DesktopHome home;
    auto help = [](const std::string& environment) {
        return commandOutput("env -u LUMORA_LANG " + environment + " '" LUMORA_PROGRAM "' --help");
    };
    EXPECT_EQ(help("LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8").rfind("用法：lumora", 0), 0u);
    EXPECT_EQ(help("LANG=de_DE.UTF-8 LC_ALL=de_DE.UTF-8").rfind("usage: lumora", 0), 0u);
    EXPECT_EQ(help("LC_ALL=zh_CN.UTF-8 LUMORA_LANG=en").rfind("usage: lumora", 0), 0u);
    std::filesystem::create_directories(home.folder.file("config/LumoraBox"));
    std::ofstream(home.folder.file("config/LumoraBox/Lumora.conf")) << "[General]\nlanguage=zh\n";
    EXPECT_EQ(help("LC_ALL=de_DE.UTF-8").rfind("用法：lumora", 0), 0u) << "the tray's choice";
}
