#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <set>

#include "engine/play_graph.h"
#include "tests/support/test_components.h"

namespace {
using Graph = std::unique_ptr<PlayGraph, void (*)(PlayGraph*)>;
Graph makeGraph(int fps) {
    return Graph(PlayGraph::Create(fps), [](PlayGraph* g) { PlayGraph::Destroy(&g); });
}

size_t threadCount() {
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator("/proc/self/task")) {
        ++count;
    }
    return count;
}
}  // namespace

TEST(PlayGraphPacingTest, StartTwiceMakesOneWorkerAndStopJoinsIt) {
    auto graph = makeGraph(50);
    RecordingOutput output;
    graph->AddOutput(&output);
    // One run first, so that threads the image library keeps for itself exist
    // before we count.
    graph->Start();
    ASSERT_TRUE(output.waitForFrames(1));
    graph->Stop();
    output.clear();
    size_t before = threadCount();
    graph->Start();
    graph->Start();
    EXPECT_TRUE(graph->IsRunning());
    ASSERT_TRUE(output.waitForFrames(3));
    EXPECT_EQ(threadCount(), before + 1);
    std::set<std::thread::id> senders;
    for (const auto& call : output.calls()) {
        senders.insert(call.thread);
    }
    EXPECT_EQ(senders.size(), 1u);
    EXPECT_EQ(senders.count(std::this_thread::get_id()), 0u);
    graph->Stop();
    EXPECT_FALSE(graph->IsRunning());
    EXPECT_EQ(threadCount(), before);
    graph->Stop();  // on a stopped graph: nothing
    graph->RemoveOutput(&output);
}

TEST(PlayGraphPacingTest, StopThenStartRunsAgainFromABlackFrame) {
    auto graph = makeGraph(50);
    std::vector<std::string> log;
    std::mutex logLock;
    MarkEffect mark(EFFECT_ORDER_DEFAULT, "mark", &log, &logLock);
    RecordingOutput output;
    graph->AddEffect(&mark);
    graph->AddOutput(&output);
    graph->Start();
    ASSERT_TRUE(output.waitForFrames(3));
    graph->Stop();
    size_t afterStop = output.frameCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    EXPECT_EQ(output.frameCount(), afterStop) << "no frame after Stop returned";

    output.clear();
    graph->Start();
    ASSERT_TRUE(output.waitForFrames(2));
    graph->Stop();
    // A new run starts from a cleared picture: the mark effect ran once on black.
    EXPECT_EQ(output.calls()[0].data[1], 1);
    graph->RemoveEffect(&mark);
    graph->RemoveOutput(&output);
}

TEST(PlayGraphPacingTest, NewFrameRateTakesEffectAtTheNextTick) {
    auto graph = makeGraph(4);  // 250 ms
    RecordingOutput output;
    graph->AddOutput(&output);
    graph->Start();
    ASSERT_TRUE(output.waitForFrames(1));
    graph->SetFrameRate(200);
    EXPECT_EQ(graph->FrameRate(), 200);
    graph->SetFrameRate(0);  // refused
    EXPECT_EQ(graph->FrameRate(), 200);
    output.clear();
    // At the old rate one second would hold four frames; the new one, far more
    // than thirty even on a loaded machine.
    std::this_thread::sleep_for(std::chrono::seconds(1));
    graph->Stop();
    EXPECT_GT(output.frameCount(), 30u);
    graph->RemoveOutput(&output);
}
