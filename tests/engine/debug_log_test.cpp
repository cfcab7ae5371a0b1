#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/debug_log.h"

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
