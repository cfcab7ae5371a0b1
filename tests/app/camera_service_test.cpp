#include <gtest/gtest.h>

#include <signal.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "tests/app/desktop_session.h"
#include "tests/support/child_process.h"
#include "tests/support/eventually.h"

// The virtual camera's reader as the user's service runs it: started before
// the program, it keeps the camera across program restarts and crashes, and
// the program starts no reader of its own meanwhile.
namespace {
using namespace std::chrono_literals;

// Whether the process's environment holds `entry` (our own processes only).
bool environmentHas(const std::filesystem::path& process, const std::string& entry) {
    std::ifstream environ(process / "environ", std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(environ)), std::istreambuf_iterator<char>());
    return text.find(entry + '\0') != std::string::npos;
}

// Whether the process was started with `argument`.
bool startedWith(const std::filesystem::path& process, const std::string& argument) {
    std::ifstream cmdline(process / "cmdline", std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(cmdline)), std::istreambuf_iterator<char>());
    return text.find('\0' + argument + '\0') != std::string::npos;
}

// Processes named lumora-vcam in this test's runtime folder (other tests run
// readers of their own meanwhile), by pid. The camera page's `--check` runs
// read nothing and are left out.
std::vector<std::string> readers() {
    std::string ours = std::string("XDG_RUNTIME_DIR=") + std::getenv("XDG_RUNTIME_DIR");
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::ifstream comm(entry.path() / "comm");
        std::string name;
        if (std::getline(comm, name) && name == "lumora-vcam" &&
            environmentHas(entry.path(), ours) && !startedWith(entry.path(), "--check")) {
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
        EXPECT_TRUE(readsLine(*lumora, "virtual camera: a running reader feeds it", 10s))
            << "the program starts no reader of its own";
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
    EXPECT_TRUE(readsLine(*lumora, "virtual camera: our own reader feeds it", 10s));
    ASSERT_FALSE(visibleWindow().empty());
    EXPECT_TRUE(eventually([] { return readers().size() == 1; }, 10s))
        << "the program's own reader (PipeWire answers): " << readers().size();
    lumora->signal(SIGTERM);
    EXPECT_EQ(lumora->wait(15s), 0);
    EXPECT_TRUE(eventually([] { return readers().empty(); }, 10s))
        << "and it ends with the program";
}
