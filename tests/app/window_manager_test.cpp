#include <gtest/gtest.h>

#include <signal.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "tests/app/desktop_session.h"
#include "tests/support/child_process.h"
#include "tests/support/eventually.h"

// The real program on a private X server with a real window manager (Xfce's
// xfwm4), as on an X11 desktop: the window manager, not the program, places
// the window, so dragging the title bar must go through it.
namespace {
using namespace std::chrono_literals;

// A point of the title bar with nothing to click under it.
constexpr int kTitleX = 300, kTitleY = 20;
constexpr int kDragX = 160, kDragY = 120, kDragSteps = 16;

class WindowManager {
public:
    // `log`: where its own words go.
    explicit WindowManager(std::string log) : log_(std::move(log)) {}
    ~WindowManager() { end(); }

    // Starts it and waits until it manages the screen: it announces itself
    // on the root window, within a few seconds even beside a loaded build.
    // Beside one, a start in many never announced itself; it is then started
    // again, and what it said is printed.
    bool manages() {
        for (int start = 1; start <= kStarts; ++start) {
            // Once, beside other tests, the private X server took no client
            // for the whole test: it is then replaced, and what became of
            // it printed.
            if (!privateDisplayAnswers()) {
                std::printf("the private X server takes no client before start %d: %s\n", start,
                            privateDisplayReport().c_str());
                restartPrivateDisplay();
            }
            if (begin() && announced()) {
                return true;
            }
            std::printf("xfwm4, start %d of %d, did not announce itself in %lld s; it said:\n%s\n",
                        start, kStarts, static_cast<long long>(kAnnounceLimit.count()),
                        contentsOf(log_).c_str());
            end();
        }
        return false;
    }

private:
    static constexpr int kStarts = 3;
    static constexpr std::chrono::seconds kAnnounceLimit{45};

    bool begin() {
        // It needs its settings daemon, which comes up on a session bus of
        // its own. All of them run in a process group of their own, writing
        // to a file, so that ending the group leaves nothing behind that
        // holds the test's output open.
        process_ = std::make_unique<ChildProcess>();
        return process_->spawn("/usr/bin/setsid",
                               {"/bin/sh", "-c",
                                "exec env NO_AT_BRIDGE=1 dbus-run-session -- xfwm4 "
                                "--compositor=off --sm-client-disable >\"$0\" 2>&1",
                                log_});
    }

    static bool announced() {
        return eventually(
            [] {
                return commandOutput("xprop -root _NET_SUPPORTING_WM_CHECK",
                                     std::chrono::seconds(10))
                           .find("window id") != std::string::npos;
            },
            kAnnounceLimit);
    }

    void end() {
        if (!process_ || process_->pid() <= 0) {
            return;
        }
        ::kill(-process_->pid(), SIGTERM);
        if (process_->wait(10s) == -1) {
            ::kill(-process_->pid(), SIGKILL);
            process_->wait();
        }
        // The bus's daemons may outlive the session's end by a moment.
        ::kill(-process_->pid(), SIGKILL);
        process_.reset();
    }

    std::string log_;
    std::unique_ptr<ChildProcess> process_;
};

std::optional<std::pair<int, int>> windowPlace(const std::string& window) {
    std::string shell =
        commandOutput("xdotool getwindowgeometry --shell " + window, std::chrono::seconds(10));
    int x = 0, y = 0;
    size_t at = shell.find("X=");
    size_t atY = shell.find("Y=");
    if (at == std::string::npos || atY == std::string::npos ||
        std::sscanf(shell.c_str() + at, "X=%d", &x) != 1 ||
        std::sscanf(shell.c_str() + atY, "Y=%d", &y) != 1) {
        return std::nullopt;
    }
    return std::pair{x, y};
}

// Presses on the title bar and moves the pointer in steps, as a hand does
// (one jump would be a teleport, not a drag), then lets go.
void dragTitleBar(const std::string& window) {
    xdotool({"mousemove", "--window", window, std::to_string(kTitleX), std::to_string(kTitleY),
             "mousedown", "1"});
    for (int step = 0; step < kDragSteps; ++step) {
        // Pacing only, so that the window manager sees a moving pointer.
        xdotool({"mousemove_relative", "--sync", "--", std::to_string(kDragX / kDragSteps),
                 std::to_string(kDragY / kDragSteps)});
    }
    xdotool({"mouseup", "1"});
}
}  // namespace

TEST(WindowManagerTest, ItsTitleBarMovesItUnderAnX11WindowManager) {
    DesktopHome home;
    WindowManager manager(home.folder.file("xfwm4.log"));
    ASSERT_TRUE(manager.manages()) << "xfwm4 did not take the screen";
    auto lumora = startLumora();
    std::string window = visibleWindow();
    ASSERT_FALSE(window.empty()) << "the main window shows";
    std::optional<std::pair<int, int>> before;
    // The manager may still be placing the new window: wait until it stays.
    ASSERT_TRUE(eventually(
        [&] {
            auto now = windowPlace(window);
            bool settled = now && now == before;
            before = now;
            return settled;
        },
        20s));

    dragTitleBar(window);
    // The first step may go to telling a drag from a click, so the window
    // follows by the drag less at most one step.
    std::optional<std::pair<int, int>> after;
    bool moved = eventually(
        [&] {
            after = windowPlace(window);
            return after && after->first - before->first >= kDragX - 2 * kDragX / kDragSteps &&
                   after->second - before->second >= kDragY - 2 * kDragY / kDragSteps;
        },
        20s);
    EXPECT_TRUE(moved) << "from " << before->first << "," << before->second << " to "
                       << (after
                               ? std::to_string(after->first) + "," + std::to_string(after->second)
                               : "nowhere");
    ASSERT_TRUE(after.has_value());
    EXPECT_LE(after->first - before->first, kDragX + 2) << "the window outran the pointer";
    EXPECT_LE(after->second - before->second, kDragY + 2) << "the window outran the pointer";
    lumora->signal(SIGTERM);
    EXPECT_EQ(lumora->wait(20s), 0);
}
