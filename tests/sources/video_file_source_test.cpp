#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "engine/play_graph.h"
#include "libs/capture/stream_capture.h"
#include "sources/video_file_source.h"
#include "tests/support/frame_log.h"
#include "tests/support/test_components.h"
#include "tests/support/test_frames.h"
#include "tests/support/test_media.h"

namespace {
using namespace std::chrono_literals;

std::string middleColour(const std::vector<uint8_t>& frame) {
    return frame.empty() ? "none" : nearestColour(frame.data() + (240 * 640 + 320) * 4);
}
}  // namespace

TEST(VideoFileSourceTest, VolumePercentagesRoundTripThroughTheLevels) {
    EXPECT_EQ(volumePercentToLevel(0), -10000);
    EXPECT_EQ(volumePercentToLevel(1), -1980);
    EXPECT_EQ(volumePercentToLevel(100), 0);
    EXPECT_EQ(volumeLevelToPercent(-10000), 0);
    EXPECT_EQ(volumeLevelToPercent(-2000), 0);
    VideoFileSource source;
    for (int percent = 0; percent <= 100; ++percent) {
        source.SetVolume(percent);
        ASSERT_EQ(source.Volume(), percent);
    }
    source.SetVolume(0);
    int level = 1;
    source.Player().GetVolume(&level);
    EXPECT_EQ(level, StreamCapture::kSilent) << "0 % is complete silence";
}

TEST(VideoFileSourceTest, PlayModeIsKeptAsGivenAndPassedOnAsOneOrZero) {
    VideoFileSource source;
    EXPECT_EQ(source.PlayMode(), 0);
    EXPECT_EQ(source.Player().GetPlayMode(), 0) << "random order to begin with";
    source.SetPlayMode(1);
    EXPECT_EQ(source.PlayMode(), 1);
    EXPECT_EQ(source.Player().GetPlayMode(), 1);
    source.SetPlayMode(7);
    EXPECT_EQ(source.PlayMode(), 7);
    EXPECT_EQ(source.Player().GetPlayMode(), 0) << "anything but 1 is random order";
    source.SetPlayMode(-1);
    EXPECT_EQ(source.PlayMode(), -1);
    EXPECT_EQ(source.Player().GetPlayMode(), 0);
    EXPECT_EQ(source.TypeId(), SOURCE_TYPE_VIDEO_FILE);
}

TEST(VideoFileSourceTest, PlaysInTheGraphAndShowsThePlaceholderAfterTheEnd) {
    ScratchDir media;
    TestVideo red;
    red.seconds = 1.0;
    ASSERT_TRUE(makeTestVideo(media.file("red.mp4"), red));
    std::ofstream(media.file("broken.mp4")) << "not a video";

    auto graph = std::unique_ptr<PlayGraph, void (*)(PlayGraph*)>(
        PlayGraph::Create(15), [](PlayGraph* g) { PlayGraph::Destroy(&g); });
    auto placeholderPicture = makeSolidFrame32(255, 255, 255);
    ManualSource placeholder;
    placeholder.PushFrame(placeholderPicture.data(), placeholderPicture.size());
    graph->SetPlaceholderSource(&placeholder);
    RecordingOutput output;
    graph->AddOutput(&output);
    graph->Start();
    auto shown = [&] { return middleColour(output.nextPicture()); };

    VideoFileSource source;
    EXPECT_EQ(shown(), "white");
    graph->SelectSource(&source, true);
    EXPECT_FALSE(source.IsRunning()) << "an empty list does not play";
    EXPECT_EQ(shown(), "white");

    source.SetPlayMode(1);
    source.AddFile(QString::fromStdString(media.file("broken.mp4")));
    graph->SelectSource(&source, true);
    EXPECT_TRUE(source.IsRunning());
    EXPECT_TRUE(eventually([&] { return shown() == "white"; })) << "nothing playable: placeholder";

    source.AddFile(QString::fromStdString(media.file("red.mp4")));
    source.SetCurrentFile(QString::fromStdString(media.file("red.mp4")));
    EXPECT_EQ(source.CurrentFile().toStdString(), media.file("red.mp4"));
    EXPECT_TRUE(eventually([&] { return shown() == "red"; }, 5s));
    int64_t position = -1, duration = -1;
    EXPECT_TRUE(source.TimeInfo(&position, &duration));
    EXPECT_NEAR(duration, 1000, 200);
    EXPECT_TRUE(source.Seek(500));

    // After the end: the broken file is passed over, red plays again; in
    // between the placeholder may show, but never a stale picture of a crash.
    source.RemoveFile(QString::fromStdString(media.file("red.mp4")));
    EXPECT_TRUE(eventually([&] { return shown() == "white"; }, 5s))
        << "stream end with nothing left: the placeholder";
    EXPECT_TRUE(source.IsRunning()) << "the end of the stream does not stop the source";

    graph->Stop();
    graph->RemoveSource(&source, false);
    graph->RemoveOutput(&output);
}

TEST(VideoFileSourceTest, StreamEndMakesTheFrameInvalidUntilTheNextFrame) {
    // Notes, as the player calls it, what each call left the frame as.
    struct WatchedSource : VideoFileSource {
        std::mutex lock;
        std::vector<std::string> story;  // "end:valid" / "end:invalid" / "frame:..."
        void PushFrame(const uint8_t* data, size_t size) override {
            VideoFileSource::PushFrame(data, size);
            note("frame");
        }
        void SetFrameValid(bool valid) override {
            VideoFileSource::SetFrameValid(valid);
            note(valid ? "valid" : "end");
        }
        void note(const std::string& what) {
            std::string entry = what + (FrameValid() ? ":valid" : ":invalid");
            std::lock_guard<std::mutex> guard(lock);
            if (story.empty() || story.back() != entry) {
                story.push_back(entry);
            }
        }
        std::vector<std::string> seen() {
            std::lock_guard<std::mutex> guard(lock);
            return story;
        }
    };
    WatchedSource source;
    auto frame = makeSolidFrame32(1, 2, 3);
    // The receiver is what the player calls; drive it as the player would.
    source.PushFrame(frame.data(), frame.size());
    ASSERT_TRUE(source.FrameValid());
    ScratchDir media;
    TestVideo blue;
    blue.body = "blue";
    blue.seconds = 0.5;
    ASSERT_TRUE(makeTestVideo(media.file("blue.mp4"), blue));
    source.AddFile(QString::fromStdString(media.file("blue.mp4")));
    source.SetPlayMode(1);
    ASSERT_EQ(source.Start(), 0);
    // The file plays, ends, and plays again: frame, end, frame.
    auto played = [&] {
        auto story = source.seen();
        return std::find(story.begin(), story.end(), "end:invalid") != story.end() &&
               story.back() == "frame:valid";
    };
    EXPECT_TRUE(eventually(played, 10s));
    source.Stop();
    auto story = source.seen();
    ASSERT_GE(story.size(), 3u);
    EXPECT_EQ(story[0], "frame:valid");
    EXPECT_EQ(story[1], "end:invalid") << "the stream end cleared the frame";
    EXPECT_EQ(story[2], "frame:valid") << "the next round's first frame brought it back";
}
