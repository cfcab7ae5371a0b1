#include <gtest/gtest.h>

#include <QColor>
#include <QImage>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <vector>

#include "base/output_mode.h"
#include "engine/play_graph.h"
#include "libs/capture/capture_devices.h"
#include "libs/capture/video_capture.h"
#include "sources/camera_source.h"
#include "sources/image_video_source.h"
#include "sources/pic_file_source.h"
#include "sources/video_file_source.h"
#include "tests/support/frame_log.h"
#include "tests/support/frame_number_log.h"
#include "tests/support/test_components.h"
#include "tests/support/test_media.h"

namespace {
using namespace std::chrono_literals;
using Graph = std::unique_ptr<PlayGraph, void (*)(PlayGraph*)>;

// The colour in the middle of the newest picture of `width` x `height` the
// output got, or "none".
std::string middleOfNewest(RecordingOutput& output, int32_t width, int32_t height) {
    std::string colour = "none";
    for (const auto& call : output.calls()) {
        if (call.is32 && call.width == width && call.height == height) {
            size_t middle = (static_cast<size_t>(height / 2) * width + width / 2) * 4;
            colour = nearestColour(call.data.data() + middle);
        }
    }
    return colour;
}

// A video file source that notes the number of every frame it keeps.
class NumberedVideo : public VideoFileSource {
public:
    const FrameNumberLog& frames() const { return frames_; }

protected:
    void OnFrame(unsigned char* data, size_t size) override {
        frames_.noteFrame(data, Width(), Height());
        VideoFileSource::OnFrame(data, size);
    }
    void OnStreamEnd() override {
        frames_.noteStreamEnd();
        VideoFileSource::OnStreamEnd();
    }

private:
    FrameNumberLog frames_;
};

// The numbers of the frames `width` wide noted after entry `from`.
std::vector<int> numbersAfter(const FrameNumberLog& frames, size_t from, int32_t width) {
    std::vector<int> numbers;
    std::vector<FrameNumberLog::Entry> entries = frames.entries();
    for (size_t i = from; i < entries.size(); ++i) {
        if (entries[i].width == width && entries[i].number) {
            numbers.push_back(*entries[i].number);
        }
    }
    return numbers;
}

// Selects the source in the graph at the standard size, waits for its colour,
// switches the graph to 720p and waits for the colour at that size.
void followsTheMode(PlayGraph& graph, RecordingOutput& output, VideoSource& source,
                    const std::string& colour) {
    SCOPED_TRACE(colour);
    graph.SetOutputMode(kStandardMode);
    graph.SelectSource(&source, true);
    output.clear();
    EXPECT_TRUE(eventually([&] { return middleOfNewest(output, 640, 480) == colour; }, 5s));
    graph.SetOutputMode(kHd720Mode);
    EXPECT_EQ(source.FrameSize(), VideoFrame::Size32(1280, 720));
    EXPECT_TRUE(source.IsRunning()) << "a running source runs on at the new size";
    output.clear();
    EXPECT_TRUE(eventually([&] { return middleOfNewest(output, 1280, 720) == colour; }, 5s));
    // Its own frames have the new size: nothing is left for the graph to scale.
    EXPECT_TRUE(eventually([&] { return source.FrameValid(); }, 5s));
    EXPECT_EQ(source.Width(), 1280);
}
// Lets the playing file (at 720p, 15 frames a second) reach 3 s, so that a
// start from 0:00 cannot pass for going on, then changes to the standard
// size: the position is at least the one before, and no picture of the new
// size comes from before the last one shown.
void goesOnFromWhereItWas(PlayGraph& graph, NumberedVideo& video) {
    int64_t before = 0, duration = 0;
    ASSERT_TRUE(
        eventually([&] { return video.TimeInfo(&before, &duration) && before >= 3000; }, 15s));
    std::vector<int> shown = numbersAfter(video.frames(), 0, 1280);
    ASSERT_FALSE(shown.empty());
    size_t from = video.frames().size();
    ASSERT_TRUE(video.TimeInfo(&before, &duration));
    graph.SetOutputMode(kStandardMode);
    int64_t after = -1;
    ASSERT_TRUE(eventually([&] { return video.TimeInfo(&after, &duration); }, 5s));
    EXPECT_GE(after, before) << "the file went on from " << after << " ms, not " << before;
    std::vector<int> resumed;
    ASSERT_TRUE(eventually(
        [&] { return (resumed = numbersAfter(video.frames(), from, 640)).size() >= 10; }, 5s));
    // The file goes on from the frame that holds the position, which may be
    // the one shown last or, the position being whole milliseconds, the one
    // before it.
    EXPECT_GE(*std::min_element(resumed.begin(), resumed.end()), shown.back() - 1)
        << "frame " << shown.back() << " was shown before the change";
}
}  // namespace

TEST(SourceOutputModeTest, EverySourceDeliversTheModesSize) {
    setenv("LUMORA_FAKE_CAMERAS", "1", 1);
    ScratchDir media;
    TestVideo red;
    red.seconds = 20.0;
    red.frameNumbers = true;
    ASSERT_TRUE(makeTestVideo(media.file("red.mp4"), red));
    QImage blue(400, 300, QImage::Format_RGB32);
    blue.fill(QColor(0, 0, 255));
    QString bluePath = QString::fromStdString(media.file("blue.png"));
    ASSERT_TRUE(blue.save(bluePath));
    QImage green(320, 240, QImage::Format_RGB32);
    green.fill(QColor(0, 255, 0));
    QString greenPath = QString::fromStdString(media.file("green.png"));
    ASSERT_TRUE(green.save(greenPath));

    Graph graph(PlayGraph::Create(15), [](PlayGraph* g) { PlayGraph::Destroy(&g); });
    RecordingOutput output;
    graph->AddOutput(&output);
    ASSERT_EQ(graph->Start(), 0);

    NumberedVideo video;
    video.SetPlayMode(1);
    video.AddFile(QString::fromStdString(media.file("red.mp4")));
    followsTheMode(*graph, output, video, "red");
    goesOnFromWhereItWas(*graph, video);

    PicFileSource slideshow;
    slideshow.AddPicture(bluePath);
    followsTheMode(*graph, output, slideshow, "blue");

    ImageVideoSource placeholder(greenPath);
    placeholder.Start();
    followsTheMode(*graph, output, placeholder, "green");

    // The test camera's picture has no one colour: its size is what counts.
    auto devices = listCaptureDevices();
    unsigned testCamera = 0;
    while (testCamera < devices.size() && !devices[testCamera].isTestCamera()) {
        ++testCamera;
    }
    ASSERT_LT(testCamera, devices.size());
    CameraSource camera(testCamera, 640, 480);
    graph->SetOutputMode(kStandardMode);
    graph->SelectSource(&camera, true);
    EXPECT_TRUE(eventually([&] { return camera.FrameValid(); }, 5s));
    graph->SetOutputMode(kHd720Mode);
    EXPECT_TRUE(camera.IsRunning());
    EXPECT_TRUE(eventually([&] { return camera.FrameValid(); }, 5s));
    EXPECT_EQ(camera.FrameSize(), VideoFrame::Size32(1280, 720));
    // The test camera gives 1280 x 720 raw at 10 fps only: MJPG at 30 it is.
    std::optional<CaptureFormat> opened = camera.Capture().ChosenFormat();
    ASSERT_TRUE(opened.has_value());
    EXPECT_EQ(fourccText(opened->fourcc), "MJPG");
    EXPECT_EQ(opened->width, 1280);
    EXPECT_EQ(opened->maxFps, 30);
    uint64_t before = camera.Capture().DeliveredFrames();
    EXPECT_TRUE(eventually([&] { return camera.Capture().DeliveredFrames() >= before + 20; }, 5s))
        << "frames keep coming at the new size";
    graph->SetOutputMode(kStandardMode);
    EXPECT_FALSE(camera.Capture().ChosenFormat().has_value())
        << "at 640 x 480 the camera is opened as the panel chose";

    graph->Stop();
    for (VideoSource* source :
         std::initializer_list<VideoSource*>{&video, &slideshow, &placeholder, &camera}) {
        graph->RemoveSource(source, false);
    }
    graph->RemoveOutput(&output);
}

// The player drops the frames the graph would never show: a file of 30
// frames a second plays at the mode's rate from the change on, on every pass
// through it (a file that follows itself is wound back, not opened anew).
// Frames are counted by their numbers over whole passes of the file, so the
// counts do not depend on the machine's speed.
TEST(SourceOutputModeTest, AVideoFilePlaysAtTheModesRateFromTheChangeOn) {
    constexpr size_t kFramesInAPass = 90;
    ScratchDir media;
    TestVideo clip;
    clip.seconds = 3.0;
    clip.fps = 30;
    clip.frameNumbers = true;
    ASSERT_TRUE(makeTestVideo(media.file("clip.mp4"), clip));

    Graph graph(PlayGraph::Create(15), [](PlayGraph* g) { PlayGraph::Destroy(&g); });
    ASSERT_EQ(graph->Start(), 0);
    NumberedVideo video;
    video.SetPlayMode(1);
    video.AddFile(QString::fromStdString(media.file("clip.mp4")));
    size_t from = 0;
    auto passAfterChange = [&](int32_t width) {
        std::optional<FrameNumberLog::Pass> pass;
        EXPECT_TRUE(eventually(
            [&] { return (pass = video.frames().wholePassAfter(from, width)).has_value(); }, 20s));
        FrameNumberLog::Pass made = pass.value_or(FrameNumberLog::Pass{});
        EXPECT_EQ(made.otherFrames, 0u);
        std::printf("%d wide: %zu of %zu frames in a pass\n", width, made.distinct, kFramesInAPass);
        return made.distinct;
    };

    graph->SetOutputMode(kStandardMode);
    graph->SelectSource(&video, true);
    size_t distinct = passAfterChange(640);
    EXPECT_LT(distinct, kFramesInAPass * 2 / 3) << "at 15 frames a second about half";
    EXPECT_GT(distinct, kFramesInAPass / 4);

    from = video.frames().size();
    graph->SetOutputMode(kHd720Mode);
    distinct = passAfterChange(1280);
    EXPECT_GT(distinct, kFramesInAPass * 3 / 4) << "at 30 frames a second nearly every one";

    from = video.frames().size();
    graph->SetOutputMode(kStandardMode);
    distinct = passAfterChange(640);
    EXPECT_LT(distinct, kFramesInAPass * 2 / 3) << "back at 15 frames a second about half";
    EXPECT_GT(distinct, kFramesInAPass / 4);

    graph->Stop();
    graph->RemoveSource(&video, false);
}
