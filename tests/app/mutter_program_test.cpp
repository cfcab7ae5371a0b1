#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/app/desktop_session.h"
#include "tests/support/eventually.h"
#include "tests/support/mutter_compositor.h"

// The real program on GNOME's compositor, mutter, through Qt's wayland
// platform; mutter is shown in the private X server, whose keyboard xdotool
// presses. What the compositor does with the program's window is seen from
// outside it: by a window of the test's own (the focus probe), which hears
// from the compositor whether it is the active window.
namespace {
using namespace std::chrono_literals;

constexpr int kOutputWidth = 1280, kOutputHeight = 800;

// The probe's first line that starts with `wanted` or tells a problem, or ""
// when none came within `limit`.
std::string probeSays(ChildProcess& probe, const std::string& wanted, std::chrono::seconds limit) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    std::string line;
    while (std::chrono::steady_clock::now() < deadline) {
        if (probe.readLine(&line, 1s) &&
            (line.rfind(wanted, 0) == 0 || line.rfind("problem", 0) == 0)) {
            return line;
        }
    }
    return "";
}

// Mutter's output as the private X server shows it (its nested window sits
// at the server's top left): R, G, B, top row first. Mutter draws its own
// pointer into it.
std::vector<uint8_t> grabOutput() {
    const size_t bytes = static_cast<size_t>(kOutputWidth) * kOutputHeight * 3;
    std::vector<uint8_t> rgb(bytes);
    ChildProcess grab;
    std::string size = std::to_string(kOutputWidth) + "x" + std::to_string(kOutputHeight);
    if (!grab.spawn("/usr/bin/ffmpeg",
                    {"-loglevel", "error", "-f", "x11grab", "-draw_mouse", "0", "-video_size", size,
                     "-i", std::getenv("DISPLAY"), "-frames:v", "1", "-f", "rawvideo", "-pix_fmt",
                     "rgb24", "-"}) ||
        !grab.readExactly(rgb.data(), bytes, 30s)) {
        rgb.clear();
    }
    grab.wait(10s);
    return rgb;
}

struct Box {
    int left = 0, top = 0, right = -1, bottom = -1;
    int width() const { return right - left + 1; }
    int height() const { return bottom - top + 1; }
};

// The box of every pixel that differs from the desktop's picture (mutter's
// background is a gradient, so it is compared with a picture of it).
Box differingBox(const std::vector<uint8_t>& picture, const std::vector<uint8_t>& desktop) {
    Box box{kOutputWidth, kOutputHeight, -1, -1};
    for (int y = 0; y < kOutputHeight; ++y) {
        for (int x = 0; x < kOutputWidth; ++x) {
            size_t at = (static_cast<size_t>(y) * kOutputWidth + x) * 3;
            int difference = 0;
            for (int c = 0; c < 3; ++c) {
                difference = std::max(difference, std::abs(picture[at + c] - desktop[at + c]));
            }
            if (difference > 24) {
                box.left = std::min(box.left, x);
                box.top = std::min(box.top, y);
                box.right = std::max(box.right, x);
                box.bottom = std::max(box.bottom, y);
            }
        }
    }
    return box;
}

// The box of the windows on mutter's output now; empty when no picture came.
Box windowsBox(const std::vector<uint8_t>& desktop) {
    std::vector<uint8_t> shown = grabOutput();
    return shown.empty() ? Box{} : differingBox(shown, desktop);
}

// Where the pointer rests between drags: mutter's corner, drawn the same on
// every picture.
void parkPointer() {
    xdotool({"mousemove", "--sync", std::to_string(kOutputWidth - 1),
             std::to_string(kOutputHeight - 1)});
}

class MutterProgramTest : public ::testing::Test {
protected:
    // Starts mutter and points the programs started after at it, through
    // Qt's wayland platform.
    void startMutter() {
        mutter_ = std::make_unique<MutterCompositor>(kOutputWidth, kOutputHeight);
        std::string problem;
        ASSERT_TRUE(mutter_->start(&problem)) << problem;
        setenv("WAYLAND_DISPLAY", mutter_->display().c_str(), 1);
        setenv("QT_QPA_PLATFORM", "wayland", 1);
    }
    void TearDown() override {
        unsetenv("WAYLAND_DISPLAY");
        unsetenv("QT_QPA_PLATFORM");
    }

    std::unique_ptr<MutterCompositor> mutter_;
};
}  // namespace

// A launcher hands the program it starts an activation token; a later start
// passes it to the running copy, whose window takes the focus with it. A
// start without a token leaves the focus where it is (the window asks for
// attention instead).
TEST_F(MutterProgramTest, ALaterStartWithTheLaunchersTokenBringsTheWindowForward) {
    DesktopHome home;
    ASSERT_NO_FATAL_FAILURE(startMutter());
    MutterCompositor& mutter = *mutter_;

    ChildProcess probe;
    ASSERT_TRUE(probe.spawn(LUMORA_FOCUS_PROBE, {}));
    ASSERT_EQ(probeSays(probe, "active", 20s), "active") << mutter.log();
    auto first = startLumora();
    // The program's new window takes the focus; a new window of the probe's
    // takes it back, as a person turning to another program.
    ASSERT_EQ(probeSays(probe, "inactive", 30s), "inactive") << "the program's window shows";
    probe.signal(SIGUSR1);
    ASSERT_EQ(probeSays(probe, "active", 20s), "active");

    auto second = startLumora();
    EXPECT_EQ(second->wait(10s), 0) << "a start without a token exits 0";
    EXPECT_TRUE(readsLine(*first, "app message: activate window", 10s));
    EXPECT_EQ(probeSays(probe, "inactive", 3s), "") << "without a token the focus stays";

    // A person presses a key in the probe's window, whose launcher part asks
    // for a token with that key, right before the start that uses it: mutter
    // forgets a token that waits for long.
    xdotool({"mousemove", std::to_string(kOutputWidth / 2), std::to_string(kOutputHeight / 2),
             "key", "shift"});
    ASSERT_EQ(probeSays(probe, "key", 20s), "key");
    probe.signal(SIGUSR2);
    std::string token = probeSays(probe, "token ", 20s);
    ASSERT_EQ(token.rfind("token ", 0), 0u) << token;
    setenv("XDG_ACTIVATION_TOKEN", token.substr(6).c_str(), 1);
    auto third = startLumora();
    unsetenv("XDG_ACTIVATION_TOKEN");
    EXPECT_EQ(third->wait(10s), 0) << "a start with a token exits 0";
    EXPECT_TRUE(readsLine(*first, "app message: activate window with an activation token", 10s));
    EXPECT_EQ(probeSays(probe, "inactive", 20s), "inactive")
        << "the running window takes the focus from the probe's";

    first->signal(SIGTERM);
    EXPECT_EQ(first->wait(15s), 0);
    probe.signal(SIGTERM);
    probe.wait();
}

// Pressing on the title bar and moving the pointer hands the move to mutter
// (a Wayland client cannot place itself): the window follows the drag. Mutter
// centres the new window, so the drag goes up and left, where it stays whole
// on the output.
TEST_F(MutterProgramTest, ItsTitleBarMovesItUnderThePointer) {
    constexpr int kTitleX = 300, kTitleY = 20;
    constexpr int kSteps = 16, kStepX = -6, kStepY = -3;
    constexpr int kDragX = kSteps * kStepX, kDragY = kSteps * kStepY;
    DesktopHome home;
    ASSERT_NO_FATAL_FAILURE(startMutter());
    MutterCompositor& mutter = *mutter_;
    parkPointer();
    std::vector<uint8_t> desktop;
    // The nested window shows once mutter has drawn into it. Its first
    // picture may still change (once, on a fresh machine, the whole output
    // differed from it later on, and the window was taken for all of it):
    // the empty desktop is the picture grabbed the same twice running.
    ASSERT_TRUE(eventually(
        [&] {
            std::vector<uint8_t> now = grabOutput();
            const bool drawn = !now.empty() && now[0] + now[1] + now[2] > 0;
            const bool same = drawn && now == desktop;
            desktop = std::move(now);
            return same;
        },
        30s))
        << mutter.log();

    auto lumora = startLumora();
    Box before;
    // Under load it was once found at the corner (left 0), not where mutter
    // puts it: the drag starts once it is found at one place twice.
    ASSERT_TRUE(eventually(
        [&] {
            Box now = windowsBox(desktop);
            bool settled = now.width() >= 900 && now.height() >= 600 && now.left > -kDragX &&
                           now.top > -kDragY && now.left == before.left && now.top == before.top;
            before = now;
            return settled;
        },
        60s))
        << "the window shows: " << before.width() << "x" << before.height() << " at " << before.left
        << "," << before.top << "\n"
        << mutter.log();
    ASSERT_GT(before.left, -kDragX) << "room to drag it left";
    ASSERT_GT(before.top, -kDragY) << "room to drag it up";

    // Pacing by xdotool's own round trips: a moving pointer, not a jump.
    xdotool({"mousemove", "--sync", std::to_string(before.left + kTitleX),
             std::to_string(before.top + kTitleY), "mousedown", "1"});
    for (int step = 0; step < kSteps; ++step) {
        xdotool(
            {"mousemove_relative", "--sync", "--", std::to_string(kStepX), std::to_string(kStepY)});
    }
    xdotool({"mouseup", "1"});
    parkPointer();

    // The first step may go to telling a drag from a click.
    auto followed = [](int moved, int drag, int step) {
        return std::abs(moved - drag) <= std::abs(step) + 2;
    };
    Box after;
    bool moved = eventually(
        [&] {
            after = windowsBox(desktop);
            return followed(after.left - before.left, kDragX, kStepX) &&
                   followed(after.top - before.top, kDragY, kStepY);
        },
        30s);
    EXPECT_TRUE(moved) << "from " << before.left << "," << before.top << " to " << after.left << ","
                       << after.top << " after a drag by " << kDragX << "," << kDragY;
    EXPECT_EQ(after.width(), before.width());
    EXPECT_EQ(after.height(), before.height());

    lumora->signal(SIGTERM);
    EXPECT_EQ(lumora->wait(15s), 0);
}
