#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>

#include "engine/play_graph.h"
#include "tests/support/test_components.h"
#include "tests/support/test_frames.h"

namespace {
struct GraphFixture : ::testing::Test {
    std::unique_ptr<PlayGraph, void (*)(PlayGraph*)> graph{
        PlayGraph::Create(100), [](PlayGraph* g) { PlayGraph::Destroy(&g); }};
    RecordingOutput output;

    // Starts the graph and returns the picture of a tick that began after now.
    std::vector<uint8_t> nextPicture() {
        graph->Start();
        return output.nextPicture();
    }

    void TearDown() override {
        graph->Stop();
        graph->RemoveOutput(&output);
    }
};
}  // namespace

TEST_F(GraphFixture, SelectingMovesTheSourceToTheFrontWithoutDuplicates) {
    ManualSource camera(SOURCE_TYPE_CAMERA), file(SOURCE_TYPE_VIDEO_FILE);
    camera.SetFrameSize(320, 240);
    graph->SelectSource(&camera, true);
    EXPECT_EQ(camera.FrameSize(), 1228800u);  // sized to the graph's picture
    graph->SelectSource(&file, false);
    EXPECT_TRUE(camera.IsRunning());  // stopOthers false leaves it running
    EXPECT_EQ(graph->FrontSourceType(), SOURCE_TYPE_VIDEO_FILE);

    graph->SelectSource(&camera, true);
    EXPECT_EQ(graph->FrontSourceType(), SOURCE_TYPE_CAMERA);
    EXPECT_FALSE(file.IsRunning());  // stopped, yet still registered
    EXPECT_EQ(graph->FindSourceByType(SOURCE_TYPE_VIDEO_FILE), &file);

    // Removing the camera once removes it entirely: it was never duplicated.
    graph->RemoveSource(&camera, false);
    EXPECT_EQ(graph->FindSourceByType(SOURCE_TYPE_CAMERA), nullptr);
    EXPECT_EQ(graph->FrontSourceType(), SOURCE_TYPE_VIDEO_FILE);
    graph->SelectSource(nullptr, true);  // ignored
    EXPECT_EQ(graph->FrontSourceType(), SOURCE_TYPE_VIDEO_FILE);
}

TEST_F(GraphFixture, RemovingTheFrontStartsTheNextOnlyWhenAsked) {
    ManualSource first(SOURCE_TYPE_VIDEO_FILE), second(SOURCE_TYPE_CAMERA);
    graph->SelectSource(&second, false);
    graph->SelectSource(&first, true);
    ASSERT_FALSE(second.IsRunning());

    graph->RemoveSource(&first, true);
    EXPECT_TRUE(second.IsRunning());
    EXPECT_EQ(second.startCalls(), 2);
    EXPECT_TRUE(first.IsRunning());  // removal never stops a source
    EXPECT_EQ(first.stopCalls(), 0);

    graph->SelectSource(&first, true);
    graph->RemoveSource(&first, false);
    EXPECT_FALSE(second.IsRunning());
    EXPECT_FALSE(graph->IsFrontRunning());

    // Removing a source that is not in front starts nothing.
    ManualSource third;
    graph->SelectSource(&third, false);
    int before = second.startCalls();
    graph->RemoveSource(&second, true);
    EXPECT_EQ(second.startCalls(), before);
    EXPECT_EQ(graph->FindSourceByType(SOURCE_TYPE_CAMERA), nullptr);
}

TEST_F(GraphFixture, QueriesOnAnEmptyGraph) {
    EXPECT_FALSE(graph->IsFrontRunning());
    EXPECT_EQ(graph->FrontSourceType(), -1);
    EXPECT_EQ(graph->FindSourceByType(SOURCE_TYPE_PICTURE), nullptr);
    ManualSource failing(SOURCE_TYPE_CAMERA, /*startSucceeds=*/false);
    graph->SelectSource(&failing, true);
    EXPECT_FALSE(graph->IsFrontRunning());  // a failed Start is not noticed, just not running
    EXPECT_EQ(graph->FindSourceByType(SOURCE_TYPE_CAMERA), &failing);
}

TEST_F(GraphFixture, FirstPictureAfterStartIsBlackWithNothingToShow) {
    graph->AddOutput(&output);
    graph->Start();
    ASSERT_TRUE(output.waitForFrames(1));
    auto calls = output.calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls[0].data, std::vector<uint8_t>(VideoFrame::kSize32, 0));
}

TEST_F(GraphFixture, PlaceholderShowsWheneverTheFrontSourceHasNothing) {
    auto placeholderPicture = makePatternFrame32(1);
    auto cameraPicture = makePatternFrame32(2);
    ManualSource placeholder, camera(SOURCE_TYPE_CAMERA);
    placeholder.PushFrame(placeholderPicture.data(), placeholderPicture.size());
    graph->SetPlaceholderSource(&placeholder);
    graph->AddOutput(&output);

    EXPECT_EQ(nextPicture(), placeholderPicture) << "no source at all";

    graph->SelectSource(&camera, true);
    EXPECT_EQ(nextPicture(), placeholderPicture) << "running, no frame yet";

    camera.PushFrame(cameraPicture.data(), cameraPicture.size());
    EXPECT_EQ(nextPicture(), cameraPicture) << "running with a frame";

    camera.SetFrameValid(false);  // e.g. a file player's stream end
    EXPECT_EQ(nextPicture(), placeholderPicture) << "frame no longer valid";

    camera.PushFrame(cameraPicture.data(), cameraPicture.size());
    camera.Stop();
    EXPECT_EQ(nextPicture(), placeholderPicture) << "not running";

    camera.Start();  // the frame from before the stop shows again at once
    EXPECT_EQ(nextPicture(), cameraPicture) << "restarted, old frame still valid";
    graph->Stop();  // before the sources go out of scope
}

TEST_F(GraphFixture, WithoutPlaceholderThePreviousPictureRepeatsEffectsIncluded) {
    std::vector<std::string> log;
    std::mutex logLock;
    MarkEffect addOneToGreen(EFFECT_ORDER_DEFAULT, "mark", &log, &logLock);
    auto picture = makeSolidFrame32(10, 20, 30);
    ManualSource file(SOURCE_TYPE_VIDEO_FILE);
    file.PushFrame(picture.data(), picture.size());
    graph->SelectSource(&file, true);
    graph->AddEffect(&addOneToGreen);
    graph->AddOutput(&output);
    auto first = nextPicture();
    EXPECT_EQ(first[1], 21);
    EXPECT_EQ(first[0], 10);

    file.Stop();
    output.clear();
    ASSERT_TRUE(output.waitForFrames(4));
    std::vector<std::vector<uint8_t>> pictures;
    for (const auto& call : output.calls()) {
        if (call.is32) {
            pictures.push_back(call.data);
        }
    }
    ASSERT_GE(pictures.size(), 3u);
    // Each repeat runs the effect again over the kept picture.
    for (size_t i = 1; i < pictures.size(); ++i) {
        EXPECT_EQ(pictures[i][1], static_cast<uint8_t>(pictures[i - 1][1] + 1));
        EXPECT_EQ(pictures[i][0], 10);
        EXPECT_EQ(pictures[i][2], 30);
    }
    graph->Stop();
    graph->RemoveEffect(&addOneToGreen);
}

TEST_F(GraphFixture, BeautifyOrderChangesCameraPicturesOnly) {
    std::vector<std::string> log;
    std::mutex logLock;
    MarkEffect beautify(EFFECT_ORDER_SKIN_COLOR, "beautify", &log, &logLock);
    auto picture = makeSolidFrame32(50, 60, 70);
    ManualSource placeholder, camera(SOURCE_TYPE_CAMERA), file(SOURCE_TYPE_VIDEO_FILE);
    placeholder.PushFrame(picture.data(), picture.size());
    camera.PushFrame(picture.data(), picture.size());
    file.PushFrame(picture.data(), picture.size());
    graph->SetPlaceholderSource(&placeholder);
    graph->AddEffect(&beautify);
    graph->AddOutput(&output);

    EXPECT_EQ(nextPicture()[1], 60) << "placeholder";
    graph->SelectSource(&file, true);
    EXPECT_EQ(nextPicture()[1], 60) << "video file";
    graph->SelectSource(&camera, true);
    EXPECT_EQ(nextPicture()[1], 61) << "camera";
    graph->Stop();
    graph->RemoveEffect(&beautify);
}

TEST_F(GraphFixture, SourcesComeAndGoWhileTheGraphRuns) {
    auto placeholderPicture = makeSolidFrame32(1, 1, 1);
    ManualSource placeholder;
    placeholder.PushFrame(placeholderPicture.data(), placeholderPicture.size());
    graph->SetPlaceholderSource(&placeholder);
    graph->AddOutput(&output);
    graph->Start();

    std::vector<std::unique_ptr<ManualSource>> sources;
    for (int i = 0; i < 6; ++i) {
        sources.push_back(std::make_unique<ManualSource>(i % 3));
        auto frame = makeSolidFrame32(static_cast<uint8_t>(i + 10), 0, 0);
        sources.back()->PushFrame(frame.data(), frame.size());
    }
    // A library keeps delivering into every source meanwhile.
    std::atomic<bool> delivering{true};
    std::thread library([&] {
        auto frame = makeSolidFrame32(200, 0, 0);
        while (delivering) {
            for (auto& source : sources) {
                source->PushFrame(frame.data(), frame.size());
            }
        }
    });
    for (int round = 0; round < 200; ++round) {
        auto& source = sources[round % sources.size()];
        graph->SelectSource(source.get(), round % 2 == 0);
        if (round % 3 == 0) {
            graph->RemoveSource(source.get(), true);
        }
        graph->SetPlaceholderSource(round % 5 == 0 ? nullptr : &placeholder);
    }
    delivering = false;
    library.join();
    size_t seen = output.frameCount();
    EXPECT_TRUE(output.waitForFrames(seen + 2)) << "the graph kept ticking";
    graph->Stop();
    for (auto& source : sources) {
        graph->RemoveSource(source.get(), false);
    }
    EXPECT_EQ(graph->FrontSourceType(), -1);
}

namespace {
// A source whose Start waits, as a camera waits for its first frame, until
// its gate opens (or 5 s pass).
class GatedSource : public ManualSource {
public:
    explicit GatedSource(std::function<bool()> gate)
        : ManualSource(SOURCE_TYPE_CAMERA), gate_(std::move(gate)) {}
    int32_t Start() override {
        opened_ = eventually(gate_, std::chrono::seconds(5));
        return ManualSource::Start();
    }
    bool opened() const { return opened_; }

private:
    std::function<bool()> gate_;
    bool opened_ = false;
};
}  // namespace

// A source that takes its time to start (a camera waiting for its first
// frame) must not stop the pictures: its Start opens only once the graph has
// delivered ten more, which it cannot while Start holds the graph up.
TEST_F(GraphFixture, TheGraphKeepsTickingWhileASourceStartsOrStops) {
    graph->SetFrameRate(15);
    graph->AddOutput(&output);
    graph->Start();
    ASSERT_TRUE(output.waitForFrames(2));
    ManualSource previous(SOURCE_TYPE_VIDEO_FILE);
    graph->SelectSource(&previous, true);
    output.clear();
    GatedSource camera([&] { return output.frameCount() >= 10; });
    graph->SelectSource(&camera, true);
    EXPECT_TRUE(camera.opened()) << "the graph stood still while the source started";
    EXPECT_TRUE(camera.IsRunning());
    EXPECT_FALSE(previous.IsRunning()) << "the others are stopped after it";
    EXPECT_EQ(graph->FrontSourceType(), SOURCE_TYPE_CAMERA);
    // A graph held up by Start would show the gate's whole 5 s as one gap.
    EXPECT_LT(output.longestGap(), std::chrono::seconds(3))
        << "longest gap " << output.longestGap().count() << " ms";

    // Taking the front away and starting the next waits the same way.
    output.clear();
    GatedSource next([&] { return output.frameCount() >= 10; });
    graph->SelectSource(&next, false);
    graph->SelectSource(&camera, false);
    output.clear();
    graph->RemoveSource(&camera, true);
    EXPECT_TRUE(next.opened());
    graph->RemoveSource(&next, false);
    graph->RemoveSource(&previous, false);
}
