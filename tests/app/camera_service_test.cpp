#include <gtest/gtest.h>

#include <signal.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/app/desktop_session.h"
#include "tests/support/child_process.h"

// The virtual camera's reader as the user's service runs it: started before
// the program, it keeps the camera across program restarts and crashes, and
// the program starts no reader of its own meanwhile.
namespace {
using namespace std::chrono_literals;

// Processes named lumora-vcam, by pid.
std::vector<std::string> readers() {
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::ifstream comm(entry.path() / "comm");
        std::string name;
        if (std::getline(comm, name) && name == "lumora-vcam") {
            found.push_back(entry.path().filename());
        }
    }
    return found;
}
}  // namespace

TEST(CameraServiceTest, TheProgramUsesTheRunningReaderAcrossRestartsAndCrashes) {
    DesktopHome home;
    ChildProcess service;
    ASSERT_TRUE(service.spawn(LUMORA_VCAM, {"--pipewire"}));
    std::this_thread::sleep_for(500ms);
    ASSERT_EQ(service.wait(0ms), -1) << "the service's reader runs";
    auto before = readers();
    ASSERT_EQ(before.size(), 1u);

    for (int signal : {SIGTERM, SIGKILL}) {
        auto lumora = startLumora();
        ASSERT_FALSE(visibleWindow().empty());
        EXPECT_EQ(readers(), before) << "no second reader beside the service's";
        lumora->signal(signal);
        lumora->wait(15s);
        EXPECT_EQ(service.wait(0ms), -1) << "the reader outlives the program";
    }

    // Without the service the program starts a reader of its own (with no
    // loopback device it takes the test's PipeWire daemon), for its lifetime.
    service.signal(SIGTERM);
    EXPECT_EQ(service.wait(5s), 0);
    auto lumora = startLumora();
    ASSERT_FALSE(visibleWindow().empty());
    std::this_thread::sleep_for(1s);
    EXPECT_EQ(readers().size(), 1u) << "the program's own reader (PipeWire answers)";
    lumora->signal(SIGTERM);
    EXPECT_EQ(lumora->wait(15s), 0);
    std::this_thread::sleep_for(500ms);
    EXPECT_TRUE(readers().empty()) << "and it ends with the program";
}
