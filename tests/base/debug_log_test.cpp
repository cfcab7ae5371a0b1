#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/debug_log.h"
#include "tests/support/child_process.h"
#include "tests/support/test_media.h"

namespace {
std::mutex g_linesLock;
std::vector<std::string> g_lines;

void captureLine(const char* line) {
    std::lock_guard<std::mutex> guard(g_linesLock);
    g_lines.emplace_back(line);
}

struct DebugLogTest : ::testing::Test {
    void SetUp() override {
        g_lines.clear();
        setDebugLogSink(&captureLine);
    }
    void TearDown() override { setDebugLogSink(nullptr); }
};
}  // namespace

TEST_F(DebugLogTest, FormatsOneLineEndingInALineBreak) {
    debugLog("vcam box pin , client  open mutex failed! %d", 13);
    debugLog("trailing white space   \t ");
    ASSERT_EQ(g_lines.size(), 2u);
    EXPECT_EQ(g_lines[0], "vcam box pin , client  open mutex failed! 13\n");
    EXPECT_EQ(g_lines[1], "trailing white space\n");
}

TEST_F(DebugLogTest, LongTextIsCutToTheBufferAndStillTerminated) {
    std::string longText(10000, 'x');
    debugLog("%s", longText.c_str());
    ASSERT_EQ(g_lines.size(), 1u);
    EXPECT_EQ(g_lines[0].size(), 4095u);
    EXPECT_EQ(g_lines[0].back(), '\n');
    EXPECT_EQ(g_lines[0].find_first_not_of('x'), 4094u);
}

TEST_F(DebugLogTest, LinesFromManyThreadsArriveWhole) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 100; ++i) {
                debugLog("thread %d line %d", t, i);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    ASSERT_EQ(g_lines.size(), 400u);
    for (const auto& line : g_lines) {
        EXPECT_EQ(line.rfind("thread ", 0), 0u);
        EXPECT_EQ(line.back(), '\n');
    }
}

namespace {
// Runs debugLog in a child whose standard error is `stderrFd`, with
// XDG_STATE_HOME at `state`.
void logInChild(int stderrFd, const std::string& state) {
    ChildProcess child;
    ASSERT_TRUE(child.fork([&](int out) {
        ::dup2(stderrFd, STDERR_FILENO);
        setenv("XDG_STATE_HOME", state.c_str(), 1);
        debugLog("camera %d opened", 7);
        writeAll(out, "done\n");
        return 0;
    }));
    std::string line;
    ASSERT_TRUE(child.readLine(&line));
    EXPECT_EQ(child.wait(), 0);
}

std::string drain(int fd) {
    std::string text;
    char chunk[512];
    for (;;) {
        pollfd readable{fd, POLLIN, 0};
        if (::poll(&readable, 1, 0) <= 0) {
            return text;
        }
        ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n <= 0) {
            return text;
        }
        text.append(chunk, static_cast<size_t>(n));
    }
}
}  // namespace

// Without a sink: a pipe or the journal gets the line on standard error; a
// person's terminal gets nothing, the line goes to the log file instead.
TEST(DebugLogPlacesTest, StandardErrorUnlessItIsATerminalThenTheLogFile) {
    ScratchDir state;
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    logInChild(pipeFds[1], state.file("piped"));
    ::close(pipeFds[1]);
    EXPECT_EQ(drain(pipeFds[0]), "camera 7 opened\n");
    ::close(pipeFds[0]);
    EXPECT_FALSE(std::filesystem::exists(state.file("piped/LumoraBox/lumora.log")));

    int terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(terminal, 0);
    ASSERT_EQ(::grantpt(terminal), 0);
    ASSERT_EQ(::unlockpt(terminal), 0);
    int screen = ::open(::ptsname(terminal), O_RDWR | O_NOCTTY);
    ASSERT_GE(screen, 0);
    logInChild(screen, state.file("typed"));
    EXPECT_EQ(drain(terminal), "") << "nothing on the person's terminal";
    EXPECT_EQ(contentsOf(state.file("typed/LumoraBox/lumora.log")), "camera 7 opened\n");
    ::close(screen);
    ::close(terminal);
}
