#include <gtest/gtest.h>
#include <sys/resource.h>

#include <filesystem>
#include <memory>
#include <set>
#include <stdexcept>

#include "engine/play_graph.h"
#include "tests/support/child_process.h"
#include "tests/support/log_capture.h"
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
    // Thirty frames take 7.5 s at the old rate; at the new one they come well
    // within the 5 s allowed, even under the thread sanitizer.
    EXPECT_TRUE(output.waitForFrames(30, std::chrono::seconds(5)));
    graph->Stop();
    graph->RemoveOutput(&output);
}

// With no descriptors left, a graph gets neither its timer nor its stop
// event: Start must refuse rather than run a worker that can never tick nor
// be stopped. Run in a child whose descriptor limit is spent.
TEST(PlayGraphPacingTest, StartRefusesWithoutTimerOrStopEventAndDestroyReturns) {
    ChildProcess child;
    ASSERT_TRUE(child.fork([](int out) {
        rlimit none{0, 0};
        getrlimit(RLIMIT_NOFILE, &none);
        none.rlim_cur = 0;  // descriptors already open stay usable
        setrlimit(RLIMIT_NOFILE, &none);
        PlayGraph* graph = PlayGraph::Create(15);
        int32_t started = graph->Start();
        bool running = graph->IsRunning();
        PlayGraph::Destroy(&graph);
        writeAll(out, std::to_string(started) + (running ? " running" : " stopped") + "\n");
        return 0;
    }));
    std::string line;
    ASSERT_TRUE(child.readLine(&line, std::chrono::seconds(10))) << "the child hung";
    EXPECT_EQ(line, "-1 stopped");
    EXPECT_EQ(child.wait(), 0);
}

TEST(PlayGraphPacingTest, TheLedgerCountsTicksAndTheSlotsALongTickMissed) {
    using std::chrono::milliseconds;
    TickLedger ledger;
    const auto start = std::chrono::steady_clock::time_point{} + std::chrono::hours(1);
    const milliseconds period(20);
    ledger.Note(start, period);
    ledger.Note(start + milliseconds(21), period);   // on time
    ledger.Note(start + milliseconds(50), period);   // 1.45 periods late: still its slot
    ledger.Note(start + milliseconds(115), period);  // 3.25 periods: two slots missed
    EXPECT_EQ(ledger.Read().ticks, 4u);
    EXPECT_EQ(ledger.Read().missed, 2u);
    ledger.Reset();
    ledger.Note(start + milliseconds(500), period);  // the first after a reset misses nothing
    EXPECT_EQ(ledger.Read().ticks, 1u);
    EXPECT_EQ(ledger.Read().missed, 0u);

    // A graph whose one tick runs four periods long counts the slots it lost.
    auto graph = makeGraph(50);
    class SlowOnce : public VideoEffect {
    public:
        void Process(uint8_t*, size_t, int32_t, int32_t) override {
            if (done_.exchange(true)) {
                return;
            }
            // Busy: the tick is long because of its own work, as a slow
            // effect's would be.
            auto until = std::chrono::steady_clock::now() + milliseconds(80);
            while (std::chrono::steady_clock::now() < until) {
            }
        }

    private:
        std::atomic<bool> done_{false};
    } slow;
    RecordingOutput output;
    graph->AddEffect(&slow);
    graph->AddOutput(&output);
    graph->Start();
    ASSERT_TRUE(output.waitForFrames(3));
    graph->Stop();
    TickLedger::Counts counts = graph->Ticks();
    EXPECT_GE(counts.ticks, 3u);
    EXPECT_GE(counts.missed, 3u) << "the 80 ms tick overran at least three 20 ms slots";
    graph->RemoveEffect(&slow);
    graph->RemoveOutput(&output);
}

TEST(PlayGraphPacingTest, AnEffectThatThrowsCostsItsTickNotTheProgram) {
    class ThrowsOnce : public VideoEffect {
    public:
        void Process(uint8_t*, size_t, int32_t, int32_t) override {
            if (calls_++ == 1) {
                throw std::runtime_error("broken effect");
            }
        }

    private:
        std::atomic<int> calls_{0};
    } broken;
    LogCapture log;
    auto graph = makeGraph(50);
    RecordingOutput output;
    graph->AddEffect(&broken);
    graph->AddOutput(&output);
    graph->Start();
    ASSERT_TRUE(output.waitForFrames(5)) << "the graph went on after the throw";
    graph->Stop();
    graph->RemoveEffect(&broken);
    graph->RemoveOutput(&output);
    bool logged = false;
    for (const std::string& line : log.lines()) {
        logged = logged || line == "Play graph: 1 ticks failed, the last with: broken effect";
    }
    EXPECT_TRUE(logged);
}
