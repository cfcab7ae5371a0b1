#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QTest>
#include <cstdlib>

#include "app/box_site_listener.h"
#include "app/media_site.h"
#include "app/settings_db.h"
#include "effects/cam_streatch_effect.h"
#include "engine/play_graph.h"
#include "tests/ui/ui_test_environment.h"
#include "ui/camera_control_view.h"
#include "ui/camera_lists.h"
#include "ui/virtual_camera_check.h"
#include "widgets/button_skin.h"
#include "widgets/button.h"
#include "widgets/play_slider_bar.h"

namespace {
std::vector<CameraFormat> formats(std::initializer_list<std::pair<int, int>> sizes) {
    std::vector<CameraFormat> list;
    for (auto [width, height] : sizes)
        list.push_back({"YUV", width, height});
    return list;
}

const std::vector<CameraFormat> kUsual = formats({{640, 480}, {320, 240}});

// A set of cameras the test can change, as if devices were plugged in.
struct Cameras {
    std::vector<CameraRecord> records;
    void set(const QStringList& names) {
        records.clear();
        for (const QString& name : names) {
            records.push_back({static_cast<int32_t>(records.size()), name, kUsual});
        }
    }
    CameraControlView::CameraLister lister() {
        return [this] { return records; };
    }
};

QStringList entries(QComboBox* box) {
    QStringList texts;
    for (int i = 0; i < box->count(); ++i)
        texts << box->itemText(i);
    return texts;
}

void clearSavedChoices() { SettingsDb::instance()->saveMap(3, {{"none", "0"}}); }

}  // namespace

TEST(CameraPanelTest, OurOwnAndOtherVirtualCamerasAreNeverOffered) {
    clearSavedChoices();
    Cameras cameras;
    cameras.set({"Lumora直播伴侣", "USB Camera", "Dummy virtual device"});
    CameraControlView panel(nullptr, cameras.lister());
    settle();
    for (int camera : {0, 1}) {
        EXPECT_EQ(entries(panel.deviceBox(camera)), QStringList{"USB Camera"});
        EXPECT_EQ(panel.deviceBox(camera)->itemData(0).toInt(), 1);
    }
    panel.sizeBox(1)->setCurrentIndex(1);  // the user picks 320 X 240 for camera 2
    MediaSite::CameraChoice choice = MediaSite::instance()->cameraChoice(true);
    EXPECT_EQ(choice.deviceIndex, 1);
    EXPECT_EQ(QSize(choice.width, choice.height), QSize(320, 240));

    cameras.set({"Lumora直播伴侣"});
    CameraControlView none(nullptr, cameras.lister());
    settle();
    EXPECT_EQ(entries(none.deviceBox(0)), QStringList{"未检测到设备"});
    EXPECT_EQ(entries(none.sizeBox(0)), QStringList{"未检测到设备"});
    MediaSite::CameraChoice before = MediaSite::instance()->cameraChoice(false);
    none.sizeBox(0)->setCurrentIndex(0);
    none.propertyButton(0)->click();
    EXPECT_EQ(MediaSite::instance()->cameraChoice(false).deviceIndex, before.deviceIndex)
        << "nothing is sent for the no-device entry";
}

TEST(CameraPanelTest, ResolutionListsKeepTheCamerasOrderAndPrefer640x480) {
    auto offered = offeredSizes(
        formats({{1280, 720}, {640, 480}, {320, 240}, {640, 480}, {480, 360}, {0, 0}, {-1, 240}}));
    EXPECT_EQ(offered, (QList<QSize>{{640, 480}, {320, 240}, {480, 360}}));
    EXPECT_EQ(offeredSizes(formats({{1280, 720}})), QList<QSize>{QSize(640, 480)});
    EXPECT_EQ(offeredSizes({}), QList<QSize>{QSize(640, 480)});

    clearSavedChoices();
    Cameras cameras;
    cameras.records = {{0, "Wide", formats({{320, 240}, {480, 360}, {1280, 720}})},
                       {1, "Big", formats({{1280, 720}})}};
    CameraControlView panel(nullptr, cameras.lister());
    settle();
    EXPECT_EQ(entries(panel.sizeBox(0)), (QStringList{"320 X 240", "480 X 360"}));
    EXPECT_EQ(panel.sizeBox(0)->currentText(), "320 X 240") << "no 640 X 480: the first";
    panel.deviceBox(0)->setCurrentIndex(1);
    EXPECT_EQ(entries(panel.sizeBox(0)), QStringList{"640 X 480"});
    MediaSite::CameraChoice choice = MediaSite::instance()->cameraChoice(false);
    EXPECT_EQ(choice.deviceIndex, 1) << "choosing a camera applies its size at once";
    EXPECT_EQ(QSize(choice.width, choice.height), QSize(640, 480));
}

TEST(CameraPanelTest, PluggingInRefillsCameraOneAndKeepsItsChoiceByName) {
    clearSavedChoices();
    Cameras cameras;
    cameras.set({"Cam A", "Cam B"});
    CameraControlView panel(nullptr, cameras.lister());
    settle();
    panel.deviceBox(0)->setCurrentIndex(1);
    panel.sizeBox(0)->setCurrentIndex(1);

    cameras.set({"Cam C", "Cam A", "Cam B"});
    panel.checkCam();
    EXPECT_EQ(entries(panel.deviceBox(0)), (QStringList{"Cam C", "Cam A", "Cam B"}));
    EXPECT_EQ(panel.deviceBox(0)->currentText(), "Cam B");
    EXPECT_EQ(panel.deviceBox(0)->currentData().toInt(), 2);
    EXPECT_EQ(panel.sizeBox(0)->currentIndex(), 1) << "the size is chosen again";
    EXPECT_EQ(entries(panel.deviceBox(1)), (QStringList{"Cam A", "Cam B"}))
        << "camera 2's lists stay as they were";

    cameras.set({"Cam D", "Cam A", "Cam B"});
    panel.checkCam();
    EXPECT_EQ(panel.deviceBox(0)->itemText(0), "Cam C") << "same number of devices: nothing";

    cameras.set({"Cam A"});
    // Timed from before the change is announced, so that the time this
    // thread spends between the two is inside the second, not outside it.
    QElapsedTimer waited;
    waited.start();
    WidgetHide::instance()->onDeviceChange();
    EXPECT_EQ(panel.deviceBox(0)->count(), 3) << "the panel looks again only a second later";
    while (panel.deviceBox(0)->count() != 1 && waited.elapsed() < 10000)
        QTest::qWait(50);
    EXPECT_EQ(entries(panel.deviceBox(0)), QStringList{"Cam A"});
    EXPECT_GE(waited.elapsed(), 900) << "looked again after " << waited.elapsed() << " ms";

    // A camera that fails while running has often just been pulled out.
    cameras.set({"Cam A", "Cam B"});
    emit BoxSiteListener::instance()->sig_cameraFailed();
    EXPECT_TRUE(waitFor([&] { return panel.deviceBox(0)->count() == 2; }, 10000))
        << "the lists are read again after a camera failed";
}

TEST(CameraPanelTest, FaceSlimmingSwitchStepsAndEnds) {
    clearSavedChoices();
    Cameras cameras;
    cameras.set({"Cam A"});
    CameraControlView panel(nullptr, cameras.lister());
    settle();
    MediaSite* site = MediaSite::instance();
    panel.faceSlider()->setValue(40);
    QTest::mouseClick(panel.faceSwitch(), Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_TRUE(panel.faceSwitch()->isSelected());
    ASSERT_NE(site->stretch(), nullptr);
    EXPECT_EQ(site->stretch()->value(), 40);
    panel.increaseButton()->click();
    EXPECT_EQ(site->stretch()->value(), 41);
    panel.decreaseButton()->click();
    panel.decreaseButton()->click();
    EXPECT_EQ(site->stretch()->value(), 39);

    panel.faceSlider()->setValue(100);  // shown, not applied
    panel.increaseButton()->click();
    EXPECT_EQ(panel.faceSlider()->value(), 100);
    EXPECT_EQ(site->stretch()->value(), 39) << "at the end the setting is not applied again";
    panel.faceSlider()->setValue(0);
    panel.decreaseButton()->click();
    EXPECT_EQ(panel.faceSlider()->value(), 0);
    EXPECT_EQ(site->stretch()->value(), 39);
    QTest::mouseClick(panel.faceSwitch(), Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_FALSE(panel.faceSwitch()->isSelected());
}

TEST(CameraPanelTest, ChoicesComeBackInTheNextPanel) {
    clearSavedChoices();
    Cameras cameras;
    cameras.set({"Cam A", "Cam B", "Cam C"});
    {
        CameraControlView panel(nullptr, cameras.lister());
        settle();
        panel.deviceBox(1)->setCurrentIndex(2);
        panel.faceSlider()->setValue(37);
        QTest::mouseClick(panel.faceSwitch(), Qt::LeftButton, {}, QPoint(3, 3));
        // Saved as they were made, while the panel is still open: a crash
        // or a logout now keeps them.
        QMap<QString, QString> saved;
        SettingsDb::instance()->loadMap(3, saved);
        EXPECT_EQ(saved["cam2"], "2");
        EXPECT_EQ(saved["faceopen"], "1");
        EXPECT_EQ(saved["facevalue"], "37");
        EXPECT_EQ(saved["camsize1"], "0");
    }

    CameraControlView again(nullptr, cameras.lister());
    settle();
    EXPECT_EQ(again.deviceBox(1)->currentText(), "Cam C");
    EXPECT_EQ(MediaSite::instance()->cameraChoice(true).deviceIndex, 2);
    EXPECT_TRUE(again.faceSwitch()->isSelected());
    EXPECT_EQ(again.faceSlider()->value(), 37);
    EXPECT_EQ(MediaSite::instance()->stretch()->value(), 37);

    SettingsDb::instance()->saveMap(3, {{"cam1", "9"}, {"faceopen", "0"}});
    CameraControlView beyond(nullptr, cameras.lister());
    settle();
    EXPECT_EQ(beyond.deviceBox(0)->currentIndex(), 0) << "a stored position past the end";
    EXPECT_FALSE(beyond.faceSwitch()->isSelected());
}

TEST(CameraPanelTest, TestCamerasComeThroughTheRealEnumeration) {
    clearSavedChoices();
    setenv("LUMORA_FAKE_CAMERAS", "2", 1);
    CameraControlView panel;
    settle();
    EXPECT_GE(panel.deviceBox(0)->findText("Test Camera 2"), 0);
    panel.deviceBox(0)->setCurrentIndex(panel.deviceBox(0)->findText("Test Camera 1"));
    EXPECT_EQ(entries(panel.sizeBox(0)), (QStringList{"640 X 480", "480 X 360", "320 X 240"}));
    unsetenv("LUMORA_FAKE_CAMERAS");
}

TEST(CameraPanelTest, AnUnreachableVirtualCameraIsExplainedInFullUnderTheLists) {
    // No loopback module here, and no PipeWire daemon in this folder.
    QByteArray nowhere = QDir::tempPath().toUtf8() + "/lumora-no-pipewire";
    qputenv("PIPEWIRE_RUNTIME_DIR", nowhere);
    Cameras cameras;
    cameras.set({"USB Camera"});
    // The panel's size in the main window.
    CameraControlView panel(nullptr, cameras.lister());
    panel.resize(316, 532);
    panel.show();
    int widthWithoutLine = panel.minimumSizeHint().width();
    ASSERT_TRUE(waitFor([&] { return panel.virtualCameraLine()->isVisible(); }, 10000));
    QLabel* line = panel.virtualCameraLine();
    EXPECT_TRUE(line->text().startsWith("虚拟摄像头无法使用：")) << line->text().toStdString();
    EXPECT_TRUE(line->text().contains(
        "no PipeWire daemon answers: systemctl --user enable --now pipewire.socket"));
    EXPECT_EQ(panel.minimumSizeHint().width(), widthWithoutLine)
        << "the long notice never widens the panel";

    // Every word is shown, wrapped to the panel, and none of the controls
    // is squeezed for it: the page scrolls down to the notice's last line.
    settle();
    EXPECT_TRUE(line->wordWrap());
    EXPECT_GE(line->height(), line->heightForWidth(line->width())) << "the notice is cut";
    EXPECT_LE(line->width(), panel.scrollArea()->viewport()->width());
    for (QWidget* control : std::initializer_list<QWidget*>{
             panel.deviceBox(0), panel.sizeBox(1), panel.qualityBox(),
             panel.propertyButton(0), panel.propertyButton(1)}) {
        EXPECT_GE(control->height(), control->minimumSizeHint().height())
            << control->metaObject()->className() << " squeezed";
    }
    panel.scrollArea()->ensureWidgetVisible(line, 0, 0);
    QRect shown = panel.scrollArea()->viewport()->rect();
    QRect notice(line->mapTo(panel.scrollArea()->viewport(), QPoint(0, 0)), line->size());
    EXPECT_TRUE(shown.contains(notice.bottomLeft())) << "the last line cannot be reached";

    // Its colours are its own: no style rule of it reaches a tool tip shown
    // for the page, and it stands out from the dark panel.
    EXPECT_TRUE(line->styleSheet().isEmpty());
    EXPECT_GT(line->palette().color(QPalette::WindowText).lightness() -
                  QColor("#22282F").lightness(),
              120);
    qunsetenv("PIPEWIRE_RUNTIME_DIR");

    // A camera that can be reached: nothing to say.
    QTemporaryDir folder;
    QString fine = folder.filePath("lumora-vcam");
    QFile script(fine);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\necho 'the virtual camera can be reached'\nexit 0\n");
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    VirtualCameraCheck check(nullptr, fine);
    QStringList answers;
    QObject::connect(&check, &VirtualCameraCheck::sig_checked,
                     [&](const QString& findings) { answers << findings; });
    check.check();
    ASSERT_TRUE(waitFor([&] { return !answers.isEmpty(); }, 5000));
    EXPECT_EQ(answers, QStringList{QString()});
    EXPECT_EQ(joinFindings("a: b\nc: d\n"), "a: b；c: d");
}

TEST(CameraPanelTest, OutputQualityChoosesTheModeKeepsItAndAsksBeforeEndingARecording) {
    Cameras cameras;
    cameras.set({"USB Camera"});
    MediaSite* site = MediaSite::instance();
    {
        CameraControlView panel(nullptr, cameras.lister());
        settle();
        QComboBox* quality = panel.qualityBox();
        EXPECT_EQ(entries(quality), (QStringList{"标清 640×480 15帧", "高清 1280×720 30帧",
                                                 "全高清 1920×1080 30帧"}));
        EXPECT_EQ(quality->currentIndex(), 0) << "the standard mode to begin with";
        EXPECT_EQ(PlayGraph::Instance()->Mode(), kStandardMode);
        EXPECT_TRUE(panel.sizeBox(0)->isEnabled()) << "the capture size is the user's";

        quality->setCurrentIndex(1);
        EXPECT_EQ(site->outputModeIndex(), 1);
        EXPECT_EQ(PlayGraph::Instance()->Mode(), kHd720Mode);
        EXPECT_EQ(SettingsDb::instance()->loadText("output_mode"), "1280x720@30");
        // The first camera now follows the mode: its size box says so.
        EXPECT_FALSE(panel.sizeBox(0)->isEnabled());
        EXPECT_EQ(panel.sizeBox(0)->toolTip(), "高清输出时，摄像头按输出画质的大小采集");
        EXPECT_TRUE(panel.sizeBox(1)->isEnabled()) << "the inset's camera keeps its choice";
    }
    CameraControlView again(nullptr, cameras.lister());
    settle();
    EXPECT_EQ(again.qualityBox()->currentIndex(), 1) << "the choice comes back";
    EXPECT_FALSE(again.sizeBox(0)->isEnabled()) << "and with it the rule for the first camera";

    // While recording: "No" keeps the mode and the recording.
    int stopRequests = 0;
    QObject::connect(BoxSiteListener::instance(), &BoxSiteListener::sig_stopRecording,
                     again.qualityBox(), [&] { ++stopRequests; });
    site->setRecording(true);
    {
        MessageAnswer no(QMessageBox::No);
        again.qualityBox()->setCurrentIndex(2);
        EXPECT_TRUE(waitFor([&] { return !no.text.isEmpty(); }));
        EXPECT_EQ(no.text, "正在录制。更改输出画质会先停止并保留这段录制，是否继续？");
    }
    EXPECT_EQ(again.qualityBox()->currentIndex(), 1);
    EXPECT_EQ(site->outputModeIndex(), 1);
    EXPECT_EQ(stopRequests, 0);
    {
        MessageAnswer yes(QMessageBox::Yes);
        again.qualityBox()->setCurrentIndex(2);
        EXPECT_TRUE(waitFor([&] { return !yes.text.isEmpty(); }));
    }
    EXPECT_EQ(stopRequests, 1) << "the recording is stopped and kept before the change";
    EXPECT_EQ(PlayGraph::Instance()->Mode(), kHd1080Mode);
    site->setRecording(false);
    again.qualityBox()->setCurrentIndex(0);
    EXPECT_EQ(PlayGraph::Instance()->Mode(), kStandardMode);
    EXPECT_TRUE(again.sizeBox(0)->isEnabled());
    EXPECT_TRUE(again.sizeBox(0)->toolTip().isEmpty());
}
