#include <gtest/gtest.h>

#include <signal.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "tests/app/desktop_session.h"
#include "tests/app/private_session_bus.h"
#include "tests/app/status_notifier_host.h"
#include "tests/support/eventually.h"
#include "tests/support/weston_compositor.h"

// Lumora's tray icon as desktops show it: a StatusNotifierItem that a panel
// reads and clicks over D-Bus, and on a desktop with no tray, the window
// minimised instead of hidden and the log saying why.
namespace {
using namespace std::chrono_literals;

// The close button sits at the right end of the 40-pixel title bar.
constexpr int kCloseX = 948, kCloseY = 28;
constexpr const char* kAdvice = "tray: no tray icon";

bool windowShown() {
    return !commandOutput("xdotool search --onlyvisible --name Lumora 2>/dev/null").empty();
}

std::vector<std::string> labelsAt(const std::vector<TrayMenuEntry>& menu, int depth) {
    std::vector<std::string> labels;
    for (const TrayMenuEntry& entry : menu) {
        if (entry.depth == depth) {
            labels.push_back(entry.type == "separator" ? "--" : entry.label.toStdString());
        }
    }
    return labels;
}

int entryId(const std::vector<TrayMenuEntry>& menu, const QString& label) {
    for (const TrayMenuEntry& entry : menu) {
        if (entry.label == label) {
            return entry.id;
        }
    }
    return -1;
}

// What the program writes up to the first line that holds `wanted`.
std::vector<std::string> linesUntil(ChildProcess& process, const std::string& wanted,
                                    std::chrono::seconds limit) {
    std::vector<std::string> lines;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::string line;
    while (std::chrono::steady_clock::now() < deadline) {
        if (!process.readLine(&line, 1s)) {
            continue;
        }
        lines.push_back(line);
        if (line.find(wanted) != std::string::npos) {
            break;
        }
    }
    return lines;
}

// Whether the process has set its own SIGTERM handler (SigCgt in its status):
// the program does so once its window is up, to quit as the tray's 退出 does.
bool catchesTermination(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("SigCgt:", 0) == 0) {
            const unsigned long long caught = std::stoull(line.substr(7), nullptr, 16);
            return (caught & (1ull << (SIGTERM - 1))) != 0;
        }
    }
    return false;
}

// Points the programs started while it lives at a Wayland compositor.
struct WaylandPlatform {
    explicit WaylandPlatform(const std::string& display) {
        setenv("WAYLAND_DISPLAY", display.c_str(), 1);
        setenv("QT_QPA_PLATFORM", "wayland", 1);
    }
    ~WaylandPlatform() {
        unsetenv("WAYLAND_DISPLAY");
        unsetenv("QT_QPA_PLATFORM");
    }
};

bool anyHolds(const std::vector<std::string>& lines, const std::string& text) {
    for (const std::string& line : lines) {
        if (line.find(text) != std::string::npos) {
            return true;
        }
    }
    return false;
}
}  // namespace

TEST(TrayTest, AStatusNotifierHostShowsTheIconAndItsMenuDrivesTheProgram) {
    DesktopHome home;
    PrivateSessionBus bus(home.folder.file("bus"));
    ASSERT_FALSE(bus.address().empty()) << "dbus-daemon did not start";
    StatusNotifierHost host(bus.address());
    ASSERT_TRUE(host.watching());

    auto lumora = startLumora();
    const std::optional<TrayItem> item = host.waitForItem(30s);
    ASSERT_TRUE(item) << "the icon registers with the watcher";
    EXPECT_EQ(host.ownerPid(*item), uint(lumora->pid())) << "the item is Lumora's";
    EXPECT_EQ(host.property(*item, "Status").toString().toStdString(), "Active");
    EXPECT_TRUE(host.showsAnIcon(*item));
    EXPECT_EQ(host.toolTipTitle(*item).toStdString(), "Lumora直播伴侣v1.1.8");
    std::vector<TrayMenuEntry> menu;
    ASSERT_TRUE(eventually([&] { return entryId(menu = host.menu(*item), "退出") >= 0; }, 10s))
        << "the menu is published with the icon";
    EXPECT_EQ(labelsAt(menu, 1),
              (std::vector<std::string>{"显示主窗体", "--", "语言 Language", "--", "退出"}));
    EXPECT_EQ(labelsAt(menu, 2), (std::vector<std::string>{"中文", "English"}));

    // Closed, the window goes to the tray; a click on the icon brings it back.
    std::string window = visibleWindow();
    ASSERT_FALSE(window.empty());
    xdotool({"mousemove", "--window", window, std::to_string(kCloseX), std::to_string(kCloseY),
             "click", "1"});
    EXPECT_TRUE(readsLine(*lumora, "window closed: hidden in the tray", 10s));
    ASSERT_TRUE(eventually([] { return !windowShown(); }, 10s)) << "hidden, not minimised";
    EXPECT_TRUE(host.activate(*item, 10, 10));
    EXPECT_FALSE(visibleWindow().empty()) << "Activate shows the window";

    host.click(*item, entryId(menu, "退出"));  // the answer may not outrun the exit
    EXPECT_EQ(lumora->wait(20s), 0) << "退出 in the host's menu ends the program";
}

TEST(TrayTest, WithoutATrayClosingMinimisesAndTheLogSaysWhatToDo) {
    DesktopHome home;
    PrivateSessionBus bus(home.folder.file("bus"));  // nothing hosts StatusNotifierItems
    ASSERT_FALSE(bus.address().empty()) << "dbus-daemon did not start";

    auto lumora = startLumora();
    EXPECT_TRUE(readsLine(*lumora, kAdvice, 30s));
    std::string window = visibleWindow();
    ASSERT_FALSE(window.empty());
    xdotool({"mousemove", "--window", window, std::to_string(kCloseX), std::to_string(kCloseY),
             "click", "1"});
    EXPECT_TRUE(readsLine(*lumora, "window closed: minimised, the desktop has no tray", 10s));
    lumora->signal(SIGTERM);
    EXPECT_EQ(lumora->wait(15s), 0);
}

// Under a real Wayland compositor the icon is Qt's StatusNotifierItem as
// well; with no host, the advice comes and Qt is not made to look for X11's
// tray (which it warned was missing).
TEST(TrayTest, OnWaylandTheIconIsAStatusNotifierItemAndNoX11TrayIsLookedFor) {
    DesktopHome home;
    WestonCompositor weston(WestonCompositor::Output::Headless, 1280, 800);
    std::string problem;
    ASSERT_TRUE(weston.start(&problem)) << problem;
    const WaylandPlatform platform(weston.display());
    PrivateSessionBus bus(home.folder.file("bus"));
    ASSERT_FALSE(bus.address().empty()) << "dbus-daemon did not start";
    {
        StatusNotifierHost host(bus.address());
        ASSERT_TRUE(host.watching());
        auto lumora = startLumora();
        const std::optional<TrayItem> item = host.waitForItem(30s);
        ASSERT_TRUE(item) << "the icon registers with the watcher";
        EXPECT_EQ(host.ownerPid(*item), uint(lumora->pid()));
        EXPECT_EQ(host.toolTipTitle(*item).toStdString(), "Lumora直播伴侣v1.1.8");
        std::vector<TrayMenuEntry> menu;
        ASSERT_TRUE(eventually([&] { return entryId(menu = host.menu(*item), "退出") >= 0; }, 10s));
        EXPECT_TRUE(host.activate(*item, 10, 10));
        host.click(*item, entryId(menu, "退出"));
        EXPECT_EQ(lumora->wait(20s), 0) << "退出 in the host's menu ends the program";
    }

    // The host is gone: nothing on the bus shows tray icons.
    auto lumora = startLumora();
    std::vector<std::string> lines = linesUntil(*lumora, kAdvice, 30s);
    EXPECT_TRUE(anyHolds(lines, kAdvice));
    const std::vector<std::string> shown = linesUntil(*lumora, "lumora box rect", 30s);
    EXPECT_TRUE(anyHolds(shown, "lumora box rect")) << "the window was made";
    lines.insert(lines.end(), shown.begin(), shown.end());
    EXPECT_FALSE(anyHolds(lines, "systemTrayWindowChanged"));
    ASSERT_TRUE(eventually([&] { return catchesTermination(lumora->pid()); }, 20s));
    lumora->signal(SIGTERM);
    EXPECT_EQ(lumora->wait(15s), 0);
}
