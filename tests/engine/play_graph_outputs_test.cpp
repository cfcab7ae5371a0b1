#include <gtest/gtest.h>

#include <memory>

#include "engine/play_graph.h"
#include "tests/support/test_components.h"
#include "tests/support/test_frames.h"

namespace {
using Graph = std::unique_ptr<PlayGraph, void (*)(PlayGraph*)>;
Graph makeGraph(int fps) {
    return Graph(PlayGraph::Create(fps), [](PlayGraph* g) { PlayGraph::Destroy(&g); });
}

// Logs which output got which layout, across outputs.
class OrderLog {
public:
    void add(std::string entry) {
        std::lock_guard<std::mutex> guard(lock_);
        entries_.push_back(std::move(entry));
    }
    std::vector<std::string> entries() {
        std::lock_guard<std::mutex> guard(lock_);
        return entries_;
    }

private:
    std::mutex lock_;  // guards entries_
    std::vector<std::string> entries_;
};

class NamedOutput : public RecordingOutput {
public:
    NamedOutput(std::string name, OrderLog* log) : name_(std::move(name)), log_(log) {}
    void OnFrame32(const uint8_t* d, size_t s, int32_t w, int32_t h) override {
        log_->add(name_ + "32");
        RecordingOutput::OnFrame32(d, s, w, h);
    }
    void OnFrame24(const uint8_t* d, size_t s, int32_t w, int32_t h) override {
        log_->add(name_ + "24");
        RecordingOutput::OnFrame24(d, s, w, h);
    }

private:
    std::string name_;
    OrderLog* log_;
};
}  // namespace

TEST(PlayGraphOutputsTest, EveryOutputGetsBothLayoutsInInsertionOrder) {
    auto graph = makeGraph(60);
    OrderLog log;
    NamedOutput first("A", &log), second("B", &log);
    auto picture = makePatternFrame32(5);
    ManualSource source;
    source.PushFrame(picture.data(), picture.size());
    graph->SetPlaceholderSource(&source);
    graph->AddOutput(&first);
    graph->AddOutput(&second);
    graph->AddOutput(&first);  // already there: ignored
    graph->AddOutput(nullptr);
    graph->Start();
    ASSERT_TRUE(second.waitForFrames(3));
    graph->Stop();

    auto entries = log.entries();
    ASSERT_GE(entries.size(), 12u);
    for (size_t i = 0; i + 4 <= entries.size(); i += 4) {
        EXPECT_EQ(std::vector<std::string>(entries.begin() + i, entries.begin() + i + 4),
                  (std::vector<std::string>{"A32", "A24", "B32", "B24"}));
    }
    auto calls = second.calls();
    const auto& frame32 = calls[2];
    const auto& frame24 = calls[3];
    ASSERT_TRUE(frame32.is32);
    ASSERT_FALSE(frame24.is32);
    EXPECT_EQ(frame32.data, picture);
    EXPECT_EQ(frame24.data, dropFourthByte(picture));
    EXPECT_EQ(frame24.data.size(), 921600u);
    EXPECT_EQ(frame24.width, 640);
    EXPECT_EQ(frame24.height, 480);
}

TEST(PlayGraphOutputsTest, RemoveOutputReturnsOnlyWhenNoFurtherFrameCanArrive) {
    auto graph = makeGraph(100);
    auto output = std::make_unique<RecordingOutput>();
    std::atomic<bool> inside{false};
    output->onFrame24Hook = [&] {
        inside = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        inside = false;
    };
    graph->AddOutput(output.get());
    graph->Start();
    ASSERT_TRUE(eventually([&] { return inside.load(); }));
    graph->RemoveOutput(output.get());
    EXPECT_FALSE(inside) << "RemoveOutput returned while the output was still being fed";
    size_t framesAtRemoval = output->frameCount();
    output.reset();  // a use after this would be caught by the sanitizers
    RecordingOutput witness;
    graph->AddOutput(&witness);
    ASSERT_TRUE(witness.waitForFrames(5));
    graph->Stop();
    graph->RemoveOutput(&witness);
    EXPECT_GT(framesAtRemoval, 0u);
}

TEST(PlayGraphOutputsTest, EffectsAndOutputsComeAndGoWhileRunning) {
    auto graph = makeGraph(200);
    std::vector<std::string> log;
    std::mutex logLock;
    RecordingOutput steady;
    graph->AddOutput(&steady);
    graph->Start();
    for (int round = 0; round < 100; ++round) {
        auto effect = std::make_unique<MarkEffect>(round % 20, "e", &log, &logLock);
        auto output = std::make_unique<RecordingOutput>();
        graph->AddEffect(effect.get());
        graph->AddOutput(output.get());
        std::this_thread::sleep_for(std::chrono::microseconds(500));
        graph->RemoveOutput(output.get());
        graph->RemoveEffect(effect.get());
        // Both are destroyed right away: the graph must hold neither any more.
    }
    size_t seen = steady.frameCount();
    EXPECT_TRUE(steady.waitForFrames(seen + 3));
    // With no effect left, green stays where the last effect left it.
    auto before = steady.last32();
    ASSERT_TRUE(steady.waitForFrames(steady.frameCount() + 2));
    EXPECT_EQ(steady.last32(), before);
    graph->Stop();
    graph->RemoveOutput(&steady);
}

namespace {
RecordingOutput& defaultRecorder() {
    static RecordingOutput output;
    return output;
}
VideoOutput* defaultOutput() { return &defaultRecorder(); }
}  // namespace

TEST(PlayGraphOutputsTest, ProcessWideGraphServesItsDefaultOutputFirst) {
    PlayGraph::SetDefaultOutputProvider(&defaultOutput);
    PlayGraph* graph = PlayGraph::Instance();
    EXPECT_EQ(graph, PlayGraph::Instance());
    EXPECT_EQ(graph->FrameRate(), 30);
    OrderLog log;
    NamedOutput later("later", &log);
    graph->AddOutput(&later);
    graph->Start();
    ASSERT_TRUE(later.waitForFrames(2));
    graph->Stop();
    graph->RemoveOutput(&later);
    // The default output had every frame that the later one had, before it.
    auto defaults = defaultRecorder().calls();
    auto laters = later.calls();
    ASSERT_GE(defaults.size(), laters.size());
    for (size_t i = 0; i < laters.size(); ++i) {
        EXPECT_LE(defaults[i].when, laters[i].when);
        EXPECT_EQ(defaults[i].data, laters[i].data);
    }
}
