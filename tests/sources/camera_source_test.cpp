#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "engine/play_graph.h"
#include "libs/capture/capture_devices.h"
#include "libs/capture/video_capture.h"
#include "sources/camera_enumeration.h"
#include "sources/camera_source.h"
#include "tests/support/frame_log.h"
#include "tests/support/test_components.h"
#include "tests/support/test_frames.h"

namespace {
using namespace std::chrono_literals;

unsigned firstTestCamera() {
    auto devices = listCaptureDevices();
    for (unsigned i = 0; i < devices.size(); ++i) {
        if (devices[i].isTestCamera()) {
            return i;
        }
    }
    return 0;
}

// Paints the picture's top-left 8 x 8 pixels magenta: shows that a camera's
// own chain ran on a frame before it was stored.
class CornerMark : public VideoEffect {
public:
    explicit CornerMark(int32_t order) : VideoEffect(order) {}
    void Process(uint8_t* data, size_t, int32_t width, int32_t height) override {
        for (int y = 0; y < 8; ++y) {
            uint8_t* row = VideoFrame::PictureRow(data, width * 4, height, y);
            for (int x = 0; x < 8; ++x) {
                row[x * 4] = 255;
                row[x * 4 + 1] = 0;
                row[x * 4 + 2] = 255;
            }
        }
        ++runs;
    }
    std::atomic<int> runs{0};
};

// The colour in the middle of a picture the output gets after now.
std::string middleOfNextPicture(RecordingOutput& output) {
    auto picture = output.nextPicture();
    return picture.empty() ? "none" : nearestColour(picture.data() + (240 * 640 + 320) * 4);
}

// A running graph with a yellow placeholder and an output that records what
// it composes; stopped and emptied again at the end of the test.
struct WatchedGraph {
    PlayGraph* graph;
    std::vector<uint8_t> yellow = makeSolidFrame32(0, 255, 255);
    ManualSource placeholder;
    RecordingOutput output;

    explicit WatchedGraph(PlayGraph* watched) : graph(watched) {
        placeholder.PushFrame(yellow.data(), yellow.size());
        graph->SetPlaceholderSource(&placeholder);
        graph->AddOutput(&output);
        graph->Start();
    }
    ~WatchedGraph() {
        graph->Stop();
        graph->RemoveOutput(&output);
        graph->SetPlaceholderSource(nullptr);
    }
    std::string shownNow() { return middleOfNextPicture(output); }
};

struct CameraSourceTest : ::testing::Test {
    void SetUp() override { setenv("LUMORA_FAKE_CAMERAS", "2", 1); }
};
}  // namespace

TEST_F(CameraSourceTest, ATestCameraInTheProcessWideGraph) {
    WatchedGraph watched(PlayGraph::Instance());
    PlayGraph* graph = watched.graph;
    auto shownNow = [&] { return watched.shownNow(); };

    CameraSource camera(firstTestCamera(), 640, 480);
    EXPECT_EQ(camera.TypeId(), SOURCE_TYPE_CAMERA);
    EXPECT_FALSE(camera.IsRunning()) << "a camera does not start by itself";
    EXPECT_EQ(shownNow(), "yellow") << "the placeholder before the camera delivers";
    graph->SelectSource(&camera, true);
    EXPECT_TRUE(camera.IsRunning());
    EXPECT_FALSE(camera.FrameValid()) << "Start does not wait for the first frame";
    EXPECT_TRUE(eventually([&] { return camera.FrameValid(); }, 3s));
    // SMPTE bars: the picture's middle is a bar of colour, not the yellow placeholder.
    EXPECT_EQ(shownNow(), "green");
    EXPECT_EQ(nearestColour(watched.output.last32().data() + (470 * 640 + 20) * 4), "white")
        << "the picture's top-left is white: bottom row first all the way";

    camera.Stop();
    EXPECT_EQ(shownNow(), "yellow") << "a stopped camera shows the placeholder";
    EXPECT_TRUE(camera.FrameValid()) << "its last frame is kept";

    camera.Reopen(firstTestCamera() + 1, 320, 240);
    EXPECT_FALSE(camera.IsRunning());
    EXPECT_EQ(shownNow(), "yellow") << "reopened, still stopped";
    ASSERT_EQ(camera.Start(), 0);
    EXPECT_FALSE(camera.FrameValid()) << "the first camera's picture is not shown again";
    EXPECT_TRUE(eventually([&] { return shownNow() != "yellow"; }, 3s))
        << "the second camera's pattern";

    graph->Stop();
    graph->RemoveSource(&camera, false);
}

TEST_F(CameraSourceTest, TheCamerasOwnChainRunsBeforeTheFrameIsStored) {
    CameraSource camera(firstTestCamera(), 640, 480);
    CornerMark mark(EFFECT_ORDER_DEFAULT);
    CornerMark beautifyOrder(EFFECT_ORDER_SKIN_COLOR);
    camera.Effects().Add(&mark);
    camera.Effects().Add(&beautifyOrder);
    ASSERT_EQ(camera.Start(), 0);
    std::vector<uint8_t> frame(camera.FrameSize());
    ASSERT_TRUE(eventually([&] { return camera.CopyFrameIfValid(frame.data(), frame.size()); }));
    camera.Stop();
    EXPECT_EQ(nearestColour(frame.data() + 479 * 640 * 4), "magenta");
    EXPECT_GT(mark.runs, 0);
    EXPECT_EQ(beautifyOrder.runs.load(), mark.runs.load())
        << "on a camera's own chain every order runs";
    camera.Effects().Remove(&mark);
    camera.Effects().Remove(&beautifyOrder);
}

TEST_F(CameraSourceTest, ACameraThatCannotStartStaysStopped) {
    CameraSource missing(40, 640, 480);
    EXPECT_EQ(missing.Start(), -1);
    EXPECT_FALSE(missing.IsRunning());
    EXPECT_FALSE(missing.FrameValid());
}

TEST_F(CameraSourceTest, EnumerationListsTestCamerasWithTheirFormats) {
    auto records = enumerateCameras();
    unsigned first = firstTestCamera();
    ASSERT_EQ(records.size(), first + 2);
    for (unsigned i = 0; i < records.size(); ++i) {
        EXPECT_EQ(records[i].index, static_cast<int32_t>(i));
    }
    const CameraRecord& camera = records[first];
    EXPECT_EQ(camera.name, "Test Camera 1");
    ASSERT_EQ(camera.formats.size(), 8u);
    for (const auto& format : camera.formats) {
        EXPECT_EQ(format.colourKind, "YUV") << "YUYV and MJPG are both YUV";
    }
    EXPECT_EQ(camera.formats[2].width, 320);
    EXPECT_EQ(camera.formats[2].height, 240);
}

TEST_F(CameraSourceTest, RecordsKeepDuplicatesAndNameTheNameless) {
    std::vector<CaptureDevice> devices = {
        {"/dev/video0", "USB Camera", {{0x56595559 /* YUYV */, 640, 480}}, -1},
        {"/dev/video2", "USB Camera", {{0x33424752 /* RGB3 */, 1280, 720}, {0x47504A4D, 0, 0}}, -1},
        {"/dev/video4", "", {}, -1},
    };
    auto records = cameraRecordsFrom(devices);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].name, records[1].name);
    EXPECT_NE(records[0].index, records[1].index);
    EXPECT_EQ(records[1].formats[0].colourKind, "RGB");
    EXPECT_EQ(records[1].formats[1].colourKind, "YUV");
    EXPECT_EQ(records[1].formats[1].width, 0) << "a size range lists as 0 x 0";
    EXPECT_EQ(records[2].name, "unknown cam");
    EXPECT_TRUE(records[2].formats.empty()) << "a device without formats is still listed";
}

// A camera pulled out while capturing: its last picture leaves the screen
// for the placeholder, it no longer counts as running, and starting it
// again really starts it (no dead pipeline reported as started).
TEST_F(CameraSourceTest, ACameraThatFailsWhileRunningGivesWayToThePlaceholder) {
    auto owned = std::unique_ptr<PlayGraph, void (*)(PlayGraph*)>(
        PlayGraph::Create(15), [](PlayGraph* g) { PlayGraph::Destroy(&g); });
    WatchedGraph watched(owned.get());
    PlayGraph* graph = watched.graph;
    auto shownNow = [&] { return watched.shownNow(); };

    // What the graph shows is read from the pictures it makes next; one may
    // already be in the making when the camera changes (the graph makes one
    // at a time), so the picture after it is the one that counts.
    auto shownAfterTheChange = [&] {
        shownNow();
        return shownNow();
    };
    CameraSource camera(firstTestCamera(), 640, 480);
    graph->SelectSource(&camera, true);
    ASSERT_TRUE(camera.IsRunning());
    EXPECT_EQ(shownAfterTheChange(), "green");
    ASSERT_TRUE(camera.Capture().PullOutTestCamera());
    EXPECT_TRUE(eventually([&] { return !camera.IsRunning() && !camera.FrameValid(); }, 20s))
        << "the failure is seen";
    EXPECT_EQ(shownAfterTheChange(), "yellow") << "the placeholder, not a frozen last picture";

    EXPECT_EQ(camera.Start(), 0) << "a new start builds the capture anew";
    EXPECT_TRUE(camera.IsRunning());
    EXPECT_TRUE(eventually([&] { return camera.FrameValid(); }, 20s));
    EXPECT_EQ(shownAfterTheChange(), "green");
    graph->Stop();
    graph->RemoveSource(&camera, false);
}
