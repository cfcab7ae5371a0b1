#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/test_media.h"

// What the tests of the real program share: a private X server for the
// whole test program, a fresh home per test, the program started with its
// standard error joined to the output the test reads, and xdotool.

// A fresh home: settings, documents, runtime folder, crash reports.
struct DesktopHome {
    ScratchDir folder;
    DesktopHome();
    std::string settings() const;
};

// Whether the private X server takes a client; a report of its process and
// of the X sockets and locks, for a test to print when it does not; and a
// new private X server in its place (DISPLAY follows).
bool privateDisplayAnswers();
std::string privateDisplayReport();
void restartPrivateDisplay();

std::unique_ptr<ChildProcess> startLumora();
// The id of the visible window whose name holds `name`, or "".
std::string visibleWindow(const std::string& name = "Lumora",
                          std::chrono::seconds limit = std::chrono::seconds(20));
// Reads the process's output until a line holds `wanted`.
bool readsLine(ChildProcess& process, const std::string& wanted, std::chrono::seconds limit);
void xdotool(const std::vector<std::string>& arguments);
// Clicks at (x, y) of the window, then pauses as a person would before the
// next click (a menu must be open before its entry is chosen). The pause is
// pacing only: what a test checks after a click, it waits for by condition.
void clickAt(const std::string& window, int x, int y, int settleMs = 700);
// The whole screen as a PNG, for people to look at.
void screenshot(const std::string& path);
