#include <gtest/gtest.h>
#include <signal.h>

#include <cstdlib>
#include <string>

#include "tests/app/desktop_session.h"
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

class MutterProgramTest : public ::testing::Test {
protected:
    void TearDown() override {
        unsetenv("WAYLAND_DISPLAY");
        unsetenv("QT_QPA_PLATFORM");
    }
};
}  // namespace

// A launcher hands the program it starts an activation token; a later start
// passes it to the running copy, whose window takes the focus with it. A
// start without a token leaves the focus where it is (the window asks for
// attention instead).
TEST_F(MutterProgramTest, ALaterStartWithTheLaunchersTokenBringsTheWindowForward) {
    DesktopHome home;
    MutterCompositor mutter(kOutputWidth, kOutputHeight);
    std::string problem;
    ASSERT_TRUE(mutter.start(&problem)) << problem;
    setenv("WAYLAND_DISPLAY", mutter.display().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "wayland", 1);

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
