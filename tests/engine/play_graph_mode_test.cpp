#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "base/output_mode.h"
#include "engine/play_graph.h"
#include "tests/support/test_components.h"

namespace {
using Graph = std::unique_ptr<PlayGraph, void (*)(PlayGraph*)>;
Graph makeGraph(int fps) {
    return Graph(PlayGraph::Create(fps), [](PlayGraph* g) { PlayGraph::Destroy(&g); });
}

// A 32-bit frame whose left half is one colour and right half another.
std::vector<uint8_t> halves(int32_t width, int32_t height, uint8_t left, uint8_t right) {
    std::vector<uint8_t> frame(VideoFrame::Size32(width, height));
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            uint8_t* pixel = frame.data() + (static_cast<size_t>(y) * width + x) * 4;
            pixel[0] = pixel[1] = pixel[2] = x < width / 2 ? left : right;
        }
    }
    return frame;
}

uint8_t blueAt(const RecordingOutput::Call& call, int32_t x, int32_t y) {
    return call.data[(static_cast<size_t>(y) * call.width + x) * 4];
}

// A source whose library cannot change its size: it keeps 640 x 480.
class FixedSizeSource : public ManualSource {
public:
    void SetFrameSize(int32_t, int32_t) override {}
};

// The newest 32-bit picture of the given size once `wanted` holds for it (a
// tick already under way when the test changed something may still bring
// the picture from before), or the newest one when it never does.
RecordingOutput::Call newest32Of(RecordingOutput& output, int32_t width, int32_t height,
                                 const std::function<bool(const RecordingOutput::Call&)>& wanted) {
    RecordingOutput::Call found{};
    eventually([&] {
        for (const auto& call : output.calls()) {
            if (call.is32 && call.width == width && call.height == height) {
                found = call;
            }
        }
        return found.width == width && wanted(found);
    });
    return found;
}
}  // namespace

TEST(PlayGraphModeTest, PicturesTakeTheModesSizeAndSourcesFollowOrAreScaled) {
    Graph graph = makeGraph(15);
    EXPECT_EQ(graph->Mode(), (OutputMode{640, 480, 15}));
    RecordingOutput output;
    graph->AddOutput(&output);
    ManualSource camera(SOURCE_TYPE_CAMERA);
    graph->SelectSource(&camera, false);
    std::vector<uint8_t> standard = halves(640, 480, 10, 200);
    camera.PushFrame(standard.data(), standard.size());
    ASSERT_EQ(graph->Start(), 0);

    // The standard mode passes the source's picture through untouched.
    auto isStandard = [&](const RecordingOutput::Call& c) { return c.data == standard; };
    RecordingOutput::Call call = newest32Of(output, 640, 480, isStandard);
    ASSERT_EQ(call.width, 640);
    EXPECT_EQ(call.data, standard);

    // 720p: the source is asked for the new size and its frames of that
    // size reach every output, in both layouts.
    graph->SetOutputMode(kHd720Mode);
    EXPECT_EQ(graph->Mode(), kHd720Mode);
    EXPECT_EQ(camera.Width(), 1280);
    EXPECT_EQ(camera.Height(), 720);
    std::vector<uint8_t> wide = halves(1280, 720, 30, 220);
    camera.PushFrame(wide.data(), wide.size());
    output.clear();
    call = newest32Of(output, 1280, 720,
                      [&](const RecordingOutput::Call& c) { return c.data == wide; });
    ASSERT_EQ(call.width, 1280);
    EXPECT_EQ(call.data, wide);
    // The tick hands the 24-bit picture on after the 32-bit one the test
    // found, and may not have done so yet.
    bool saw24 = eventually([&] {
        for (const auto& c : output.calls()) {
            if (!c.is32 && c.width == 1280) {
                return true;
            }
        }
        return false;
    });
    EXPECT_TRUE(saw24);
    for (const auto& c : output.calls()) {
        if (!c.is32 && c.width == 1280) {
            EXPECT_EQ(c.data.size(), VideoFrame::Size24(1280, 720));
        }
    }

    // A source that keeps its old size is scaled to fill the new picture.
    FixedSizeSource fixed;
    graph->SelectSource(&fixed, true);
    fixed.PushFrame(standard.data(), standard.size());
    output.clear();
    call = newest32Of(output, 1280, 720,
                      [](const RecordingOutput::Call& c) { return blueAt(c, 100, 360) == 10; });
    ASSERT_EQ(call.width, 1280);
    EXPECT_EQ(blueAt(call, 100, 360), 10);
    EXPECT_EQ(blueAt(call, 1180, 360), 200);

    // Back to the standard mode, byte for byte as before.
    graph->SelectSource(&camera, true);
    graph->SetOutputMode(kStandardMode);
    camera.PushFrame(standard.data(), standard.size());
    output.clear();
    call = newest32Of(output, 640, 480, isStandard);
    ASSERT_EQ(call.width, 640);
    EXPECT_EQ(call.data, standard);
    graph->Stop();
    graph->RemoveOutput(&output);
}
