#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <utility>
#include <vector>

#include "app/box_site_listener.h"
#include "app/media_site.h"
#include "effects/cam_streatch_effect.h"
#include "engine/play_graph.h"
#include "libs/capture/capture_devices.h"
#include "libs/capture/stream_capture.h"
#include "libs/capture/video_capture.h"
#include "sources/camera_source.h"
#include "sources/video_file_source.h"
#include "tests/support/offscreen_application.h"
#include "tests/support/test_components.h"
#include "tests/support/test_media.h"

namespace {
// Counts sig_videoSrcChange() from the moment it is made.
struct ChangeCounter {
    int count = 0;
    QMetaObject::Connection connection;
    ChangeCounter() {
        connection = QObject::connect(BoxSiteListener::instance(),
                                      &BoxSiteListener::sig_videoSrcChange, [this] { ++count; });
    }
    ~ChangeCounter() { QObject::disconnect(connection); }
};

int firstTestCamera() {
    int index = 0;
    for (const auto& device : listCaptureDevices()) {
        if (device.isTestCamera()) {
            return index;
        }
        ++index;
    }
    return 0;
}

// Notes the bytes of the first frame a camera's own chain is given.
class FirstFrameBytes : public VideoEffect {
public:
    void Process(uint8_t*, size_t size, int32_t, int32_t) override {
        size_t none = 0;
        bytes_.compare_exchange_strong(none, size);
    }
    size_t bytes() const { return bytes_.load(); }

private:
    std::atomic<size_t> bytes_{0};
};

struct MediaSiteTest : ::testing::Test {
    static void SetUpTestSuite() { setenv("LUMORA_FAKE_CAMERAS", "2", 1); }
};
}  // namespace

TEST_F(MediaSiteTest, BuildingTheSiteSetsUpTheGraph) {
    MediaSite* site = MediaSite::instance();
    EXPECT_EQ(site, MediaSite::instance());
    EXPECT_EQ(PlayGraph::Instance()->FrameRate(), 15);
    RecordingOutput output;
    PlayGraph::Instance()->AddOutput(&output);
    PlayGraph::Instance()->Start();
    auto picture = output.nextPicture();
    PlayGraph::Instance()->Stop();
    PlayGraph::Instance()->RemoveOutput(&output);
    ASSERT_FALSE(picture.empty());
    EXPECT_NE(picture, std::vector<uint8_t>(picture.size(), 0)) << "the placeholder picture shows";
    EXPECT_FALSE(site->isCameraOpen());
    EXPECT_FALSE(site->isInsetOn());
}

TEST_F(MediaSiteTest, CamerasTheInsetAndTheStretchWithTheirSignals) {
    MediaSite* site = MediaSite::instance();
    int camera = firstTestCamera();
    site->setCameraFormat(camera, 640, 480, false);
    site->setCameraFormat(camera + 1, 320, 240, true);

    // The stretch made before any camera is attached to the one that opens.
    site->setStretch(true, 10);
    ChangeCounter changes;
    site->toggleCamera();
    ASSERT_TRUE(site->isCameraOpen());
    EXPECT_EQ(changes.count, 2) << "once from activating the source, once at the end";
    EXPECT_EQ(site->camera(false)->Effects().Count(), 1u);

    site->toggleInset();
    ASSERT_TRUE(site->isInsetOn());
    ASSERT_NE(site->inset(), nullptr);
    EXPECT_EQ(site->camera(true)->Effects().Count(), 1u) << "the second camera is slimmed too";
    site->setStretch(true, 30);
    EXPECT_EQ(site->stretch()->value(), 30);
    site->setStretch(false, 30);
    EXPECT_EQ(site->stretch(), nullptr);
    EXPECT_EQ(site->camera(false)->Effects().Count(), 0u);
    EXPECT_EQ(site->camera(true)->Effects().Count(), 0u);
    site->toggleInset();
    EXPECT_FALSE(site->isInsetOn());
    EXPECT_EQ(site->inset(), nullptr);
    EXPECT_EQ(site->camera(true), nullptr);

    site->setMuted(true);
    site->toggleMute();
    site->setCameraFormat(camera, 480, 360, false);  // restarts the open camera
    EXPECT_TRUE(site->isCameraOpen());
    EXPECT_EQ(changes.count, 2) << "none of these announce anything";

    site->toggleCamera();
    EXPECT_FALSE(site->isCameraOpen());
    EXPECT_EQ(site->camera(false), nullptr);
    EXPECT_EQ(changes.count, 4) << "closing: once from removing the source, once at the end";
    EXPECT_EQ(PlayGraph::Instance()->FindSourceByType(SOURCE_TYPE_CAMERA), nullptr);
}

TEST_F(MediaSiteTest, ACameraThatCannotStartLeavesItsSlotEmptyAndStillSignals) {
    MediaSite* site = MediaSite::instance();
    site->setCameraFormat(40, 640, 480, false);  // no such device
    ChangeCounter changes;
    EXPECT_FALSE(site->openCamera());
    site->toggleCamera();
    EXPECT_FALSE(site->isCameraOpen());
    EXPECT_EQ(site->camera(false), nullptr);
    EXPECT_EQ(changes.count, 1);
    site->setCameraFormat(40, 640, 480, true);
    site->toggleInset();
    EXPECT_FALSE(site->isInsetOn());
    site->showCameraProperty(12345);  // matches neither slot: nothing happens
    EXPECT_EQ(site->camera(false), nullptr) << "no camera is made for a device nobody chose";
}

// A webcam that takes four seconds to deliver its first picture: opening it
// must neither hold up the caller (the user interface) nor the pictures, and
// when it fails later the panels hear of it and the placeholder returns.
TEST_F(MediaSiteTest, ASlowCameraStallsNothingAndItsFailureIsAnnounced) {
    auto app =
        QCoreApplication::instance() ? nullptr : makeOffscreenApplication<QCoreApplication>();
    setenv("LUMORA_FAKE_CAMERA_WARMUP_MS", "4000", 1);
    MediaSite* site = MediaSite::instance();
    site->closeCamera();
    site->setCameraFormat(firstTestCamera(), 640, 480, false);
    PlayGraph* graph = PlayGraph::Instance();
    RecordingOutput output;
    graph->AddOutput(&output);
    graph->Start();
    ASSERT_TRUE(output.waitForFrames(2));

    output.clear();
    auto asked = std::chrono::steady_clock::now();
    ASSERT_TRUE(site->openCamera());
    auto answered = std::chrono::steady_clock::now() - asked;
    unsetenv("LUMORA_FAKE_CAMERA_WARMUP_MS");
    // Waiting for the warm-up would have taken its whole 4 s.
    EXPECT_LT(answered, std::chrono::milliseconds(4000))
        << "the caller waited for the warm-up: "
        << std::chrono::duration_cast<std::chrono::milliseconds>(answered).count() << " ms";
    EXPECT_TRUE(site->isCameraOpen());
    CameraSource* camera = site->camera(false);
    EXPECT_FALSE(camera->FrameValid()) << "nothing came yet: the placeholder shows meanwhile";
    EXPECT_TRUE(eventually([&] { return camera->FrameValid(); }, std::chrono::seconds(10)));
    // Over the 4 s warm-up: at least a third of what the slowest mode, 15
    // pictures a second, makes, and no gap near as long as the warm-up.
    EXPECT_GE(output.frameCount(), 20u) << "pictures went on during the warm-up";
    EXPECT_LT(output.longestGap(), std::chrono::seconds(3))
        << "longest gap " << output.longestGap().count() << " ms";

    int failures = 0;
    auto counting = QObject::connect(BoxSiteListener::instance(),
                                     &BoxSiteListener::sig_cameraFailed, [&] { ++failures; });
    ChangeCounter changes;
    ASSERT_TRUE(camera->Capture().PullOutTestCamera());
    EXPECT_TRUE(eventually([&] {
        QCoreApplication::processEvents();
        return failures == 1 && changes.count == 1;
    }));
    EXPECT_FALSE(site->isCameraOpen()) << "the buttons show the camera closed";
    QObject::disconnect(counting);
    graph->Stop();
    graph->RemoveOutput(&output);
    site->closeCamera();
}

// In a high-definition mode the camera opens its device once, at the mode's
// size: not at 640 x 480 first and again when the graph selects it.
TEST_F(MediaSiteTest, ACameraOpensOnceAtTheSizeOfAHighDefinitionMode) {
    ScratchDir home;
    setenv("XDG_CONFIG_HOME", home.file("config").c_str(), 1);  // the chosen mode is kept there
    // Held back for a second, the test camera's first frame comes after the
    // test has started watching for it.
    setenv("LUMORA_FAKE_CAMERA_WARMUP_MS", "1000", 1);
    MediaSite* site = MediaSite::instance();
    site->setCameraFormat(firstTestCamera(), 640, 480, false);
    site->setOutputMode(1);
    ASSERT_EQ(site->outputMode(), kHd720Mode);

    for (int opening = 1; opening <= 2; ++opening) {
        SCOPED_TRACE(opening == 1 ? "opened" : "closed and opened again");
        ASSERT_TRUE(site->openCamera());
        CameraSource* camera = site->camera(false);
        FirstFrameBytes first;
        camera->Effects().Add(&first);
        EXPECT_TRUE(eventually([&] { return first.bytes() != 0; }, std::chrono::seconds(10)));
        EXPECT_EQ(first.bytes(), VideoFrame::Size32(1280, 720)) << "the first frame is the mode's";
        EXPECT_EQ(camera->Capture().StartedPipelines(), 1u) << "the device was opened once";
        std::optional<CaptureFormat> opened = camera->Capture().ChosenFormat();
        ASSERT_TRUE(opened.has_value());
        EXPECT_EQ(opened->width, 1280);
        EXPECT_EQ(opened->height, 720);
        camera->Effects().Remove(&first);
        site->closeCamera();
    }
    unsetenv("LUMORA_FAKE_CAMERA_WARMUP_MS");
    site->setOutputMode(0);
}

// The listener (the virtual camera, in the program) hears of a mode before
// the graph makes pictures of it, so it can announce size and rate together.
TEST_F(MediaSiteTest, TheModeListenerIsToldBeforeTheGraphTakesTheMode) {
    ScratchDir home;
    setenv("XDG_CONFIG_HOME", home.file("config").c_str(), 1);   // the chosen mode is kept there
    static std::vector<std::pair<OutputMode, OutputMode>> told;  // (mode, the graph's then)
    MediaSite::SetModeListener(
        [](const OutputMode& mode) { told.emplace_back(mode, PlayGraph::Instance()->Mode()); });
    MediaSite* site = MediaSite::instance();
    told.clear();
    site->setOutputMode(1);
    site->setOutputMode(2);
    site->setOutputMode(0);
    MediaSite::SetModeListener(nullptr);
    ASSERT_EQ(told.size(), 3u);
    EXPECT_EQ(told[0].first, kHd720Mode);
    EXPECT_EQ(told[0].second.width, 640) << "the graph was still at the mode before";
    EXPECT_EQ(told[1].first, kHd1080Mode);
    EXPECT_EQ(told[1].second.width, 1280);
    EXPECT_EQ(told[2].first, kStandardMode);
    EXPECT_EQ(told[2].second.width, 1920);
    EXPECT_EQ(PlayGraph::Instance()->Mode(), kStandardMode) << "and then it took it";
}

TEST_F(MediaSiteTest, SoundAndPositionGoToTheVideoFileInTheGraph) {
    MediaSite* site = MediaSite::instance();
    int percent = -1;
    EXPECT_FALSE(site->volume(percent)) << "no video file in the graph";
    EXPECT_EQ(percent, 0);
    int position = -1, duration = -1;
    EXPECT_FALSE(site->playTime(position, duration));
    ChangeCounter changes;
    site->setVolume(50);
    EXPECT_EQ(changes.count, 0) << "nothing to set, nothing announced";

    ScratchDir media;
    TestVideo clip;
    clip.seconds = 6;
    ASSERT_TRUE(makeTestVideo(media.file("clip.mp4"), clip));
    VideoFileSource file;
    file.AddFile(QString::fromStdString(media.file("clip.mp4")));
    site->activateSource(&file);
    EXPECT_EQ(changes.count, 1);

    site->setVolume(0);
    EXPECT_TRUE(site->isMuted());
    EXPECT_TRUE(site->volume(percent));
    EXPECT_EQ(percent, 0);
    site->setVolume(50);
    EXPECT_FALSE(site->isMuted());
    EXPECT_TRUE(site->volume(percent));
    EXPECT_EQ(percent, 50);
    site->setVolume(100);
    EXPECT_TRUE(site->volume(percent));
    EXPECT_EQ(percent, 100);
    EXPECT_EQ(changes.count, 4) << "each volume change is announced";

    // Muted, then the slider moved: the player sounds again, as the icon says.
    site->setMuted(true);
    EXPECT_TRUE(file.Player().IsAudioMuted());
    site->setVolume(60);
    EXPECT_FALSE(site->isMuted());
    EXPECT_FALSE(file.Player().IsAudioMuted()) << "the player itself is unmuted";
    site->setVolume(0);
    EXPECT_TRUE(file.Player().IsAudioMuted());
    site->setVolume(100);

    EXPECT_TRUE(eventually([&] { return site->playTime(position, duration); }));
    EXPECT_NEAR(duration, 6000, 200);
    // Played on, the clip would need over two seconds more to get to 5 s; the
    // seek takes it there at once.
    ASSERT_TRUE(site->playTime(position, duration));
    ASSERT_LT(position, 2500) << "the clip is too far on for the seek to show";
    site->seek(5000);
    EXPECT_TRUE(eventually([&] { return site->playTime(position, duration) && position >= 5000; },
                           std::chrono::milliseconds(1500)))
        << "at " << position << " ms";

    site->removeSource(&file);
    EXPECT_EQ(changes.count, 8);
    EXPECT_FALSE(site->volume(percent));
}

// A video that starts sounds as the player bar shows: at the volume last
// chosen (50 % before any choice), and muted when the sound was muted.
TEST_F(MediaSiteTest, AVideoThatStartsTakesTheChosenVolumeAndMute) {
    MediaSite* site = MediaSite::instance();
    ScratchDir media;
    TestVideo clip;
    clip.seconds = 2;
    ASSERT_TRUE(makeTestVideo(media.file("clip.mp4"), clip));
    int percent = -1;
    for (int chosen : {30, 80}) {
        site->setMuted(false);
        {
            VideoFileSource first;
            first.AddFile(QString::fromStdString(media.file("clip.mp4")));
            site->activateSource(&first);
            site->setVolume(chosen);
            site->removeSource(&first);
        }
        VideoFileSource next;
        next.AddFile(QString::fromStdString(media.file("clip.mp4")));
        site->activateSource(&next);
        ASSERT_TRUE(site->volume(percent));
        EXPECT_EQ(percent, chosen) << "not the player's own full volume";
        EXPECT_FALSE(next.Player().IsAudioMuted());
        site->setMuted(true);
        site->removeSource(&next);
        VideoFileSource muted;
        muted.AddFile(QString::fromStdString(media.file("clip.mp4")));
        site->activateSource(&muted);
        EXPECT_TRUE(muted.Player().IsAudioMuted()) << "the mute carries over";
        site->removeSource(&muted);
    }
    site->setMuted(false);
}

// The placeholder speaks the program's language: LUMORA_LANG, which the
// program sets at start, picks the English picture; both are whole
// 640 x 480 pictures and not the same.
TEST(MediaSitePlaceholderTest, ThePictureFollowsTheLanguage) {
    unsetenv("LUMORA_LANG");
    EXPECT_EQ(MediaSite::placeholderPicture(), ":/JPG/111") << "Chinese unless told";
    setenv("LUMORA_LANG", "en", 1);
    EXPECT_EQ(MediaSite::placeholderPicture(), ":/JPG/111_en");
    setenv("LUMORA_LANG", "zh", 1);
    EXPECT_EQ(MediaSite::placeholderPicture(), ":/JPG/111");
    unsetenv("LUMORA_LANG");
    QImage chinese(":/JPG/111");
    QImage english(":/JPG/111_en");
    ASSERT_EQ(chinese.size(), QSize(640, 480));
    ASSERT_EQ(english.size(), QSize(640, 480));
    EXPECT_NE(chinese.convertToFormat(QImage::Format_RGB32),
              english.convertToFormat(QImage::Format_RGB32));
}
