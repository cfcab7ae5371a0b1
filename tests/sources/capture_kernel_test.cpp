// Lumora's capture side on a real kernel driver: vivid, the kernel's own test
// camera, loaded in a kernel of the test's own (each test runs as root in a
// guest of its own, see tools/kernel-vm.sh). The enumeration, the property
// page's controls, the camera source's pictures and a camera pulled out
// while capturing, as the test cameras check them, against V4L2 itself.

#include <gtest/gtest.h>
#include <linux/videodev2.h>

#include <QApplication>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <iostream>
#include <optional>

#include "engine/play_graph.h"
#include "libs/capture/capture_devices.h"
#include "libs/capture/device_property_dialog.h"
#include "libs/capture/v4l2_controls.h"
#include "libs/capture/video_capture.h"
#include "sources/camera_enumeration.h"
#include "sources/camera_hotplug_watcher.h"
#include "sources/camera_source.h"
#include "tests/sources/bar_reading_output.h"
#include "tests/sources/vivid_device.h"
#include "tests/support/child_process.h"
#include "tests/support/offscreen_application.h"
#include "tests/support/test_components.h"
#include "tests/support/test_frames.h"

namespace {
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Under emulation the guest runs 10 to 20 times slower than a machine: the
// deadlines are for a hung program, not for a slow one.
constexpr auto kDeadline = 30s;

// vivid's default pattern, 75 % colour bars, as the nearest named colours.
const std::vector<std::string> kColourBars = {"grey",    "yellow", "cyan", "green",
                                              "magenta", "red",    "blue", "black"};

testing::Environment* const kApplication =
    testing::AddGlobalTestEnvironment(new OffscreenApplication<QApplication>);

// The capture library's number for the node; -1 when it is not listed.
int deviceIndexOf(const std::string& node) {
    auto devices = listCaptureDevices();
    for (size_t i = 0; i < devices.size(); ++i) {
        if (devices[i].path == node) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

std::string sizeText(uint32_t fourcc, int64_t width, int64_t height, int64_t fps) {
    return fourccText(fourcc) + " " + std::to_string(width) + "x" + std::to_string(height) + " @" +
           std::to_string(fps);
}

bool listsVivid() {
    auto cameras = enumerateCameras();
    return std::any_of(cameras.begin(), cameras.end(),
                       [](const CameraRecord& camera) { return camera.name == "vivid"; });
}

// A running 15 fps graph with a yellow placeholder, read bar by bar.
struct WatchedGraph {
    std::unique_ptr<PlayGraph, void (*)(PlayGraph*)> graph{
        PlayGraph::Create(15), [](PlayGraph* graph) { PlayGraph::Destroy(&graph); }};
    std::vector<uint8_t> yellow = makeSolidFrame32(0, 255, 255);
    ManualSource placeholder;
    BarReadingOutput reader;

    WatchedGraph() {
        placeholder.PushFrame(yellow.data(), yellow.size());
        graph->SetPlaceholderSource(&placeholder);
        graph->AddOutput(&reader);
        graph->Start();
    }
    ~WatchedGraph() {
        graph->Stop();
        graph->RemoveOutput(&reader);
        graph->SetPlaceholderSource(nullptr);
    }
    bool showsColourBars() { return reader.latestColours() == kColourBars; }
};

// The slider the property page made for the control named `name`.
QSlider* sliderFor(const QDialog& page, const QString& name) {
    auto* form = page.findChild<QFormLayout*>();
    for (QSlider* slider : page.findChildren<QSlider*>()) {
        auto* label =
            form != nullptr ? qobject_cast<QLabel*>(form->labelForField(slider)) : nullptr;
        if (label != nullptr && label->text() == name) {
            return slider;
        }
    }
    return nullptr;
}

const V4l2Control* knownControl(const V4l2ControlSet& set, uint32_t id) {
    for (const V4l2Control& control : set.controls()) {
        if (control.id == id) {
            return &control;
        }
    }
    return nullptr;
}

// A menu value inside the control's range that the driver has no entry for.
std::optional<int32_t> menuHole(const V4l2Control& control) {
    for (int32_t value = control.minimum; value <= control.maximum; ++value) {
        if (std::none_of(control.menu.begin(), control.menu.end(),
                         [&](const auto& item) { return item.first == value; })) {
            return value;
        }
    }
    return std::nullopt;
}

struct VividCameraTest : ::testing::Test {
    std::string node;
    void SetUp() override {
        node = loadVividWebcam();
        ASSERT_FALSE(node.empty()) << "vivid did not load: this test needs root in its own kernel";
    }
    int32_t driverValue(uint32_t id) {
        int32_t value = INT32_MIN;
        EXPECT_TRUE(readDriverControl(node, id, &value));
        return value;
    }
};
}  // namespace

TEST_F(VividCameraTest, ListedWithEverySizeAndRateTheDriverEnumerates) {
    int index = deviceIndexOf(node);
    ASSERT_GE(index, 0) << node << " is not listed";
    CaptureDevice device = listCaptureDevices()[index];
    EXPECT_EQ(device.name, "vivid") << "the card name from VIDIOC_QUERYCAP";
    EXPECT_FALSE(device.isTestCamera());

    std::vector<std::string> enumerated, listed;
    for (const DriverSize& size : driverSizes(node)) {
        // A rate is offered as reached: 12.5 fps reaches 12, not 13.
        auto fps = static_cast<int64_t>(std::floor(size.highestFps));
        enumerated.push_back(sizeText(size.fourcc, size.width, size.height, fps));
    }
    for (const CaptureFormat& format : device.formats) {
        listed.push_back(sizeText(format.fourcc, format.width, format.height, format.maxFps));
    }
    ASSERT_GT(enumerated.size(), 100u) << "vivid's webcam: six sizes in each of its many formats";
    EXPECT_EQ(listed, enumerated) << "every format and size, in the driver's order";
    // What v4l2-ctl --list-formats-ext shows for vivid's webcam input.
    for (const char* offered : {"YUYV 320x180 @60", "YUYV 640x480 @25", "YUYV 1280x720 @12",
                                "NV12 1920x1080 @5", "RGB3 3840x2160 @2"}) {
        EXPECT_NE(std::find(listed.begin(), listed.end(), offered), listed.end()) << offered;
    }

    std::vector<CameraRecord> records = enumerateCameras();
    ASSERT_LT(static_cast<size_t>(index), records.size());
    const CameraRecord& record = records[index];
    EXPECT_EQ(record.name, "vivid");
    ASSERT_EQ(record.formats.size(), device.formats.size());
    for (size_t i = 0; i < record.formats.size(); ++i) {
        std::string fourcc = fourccText(device.formats[i].fourcc);
        if (fourcc == "YUYV" || fourcc == "RGB3") {
            EXPECT_EQ(record.formats[i].colourKind, fourcc == "YUYV" ? "YUV" : "RGB") << fourcc;
        }
    }
}

// The property page sets brightness while the camera captures: the driver
// holds the value, v4l2-ctl reads it, and the picture shows it.
TEST_F(VividCameraTest, BrightnessOnThePropertyPageReachesTheDriverAndThePicture) {
    int index = deviceIndexOf(node);
    ASSERT_GE(index, 0);
    WatchedGraph watched;
    CameraSource camera(index, 640, 480);
    watched.graph->SelectSource(&camera, true);
    ASSERT_TRUE(eventually([&] { return watched.showsColourBars(); }, kDeadline))
        << "the bars never came; last seen: "
        << testing::PrintToString(watched.reader.latestColours());
    int blackLevel = watched.reader.latestLevel(7);

    DevicePropertyDialog page(&camera.Capture());
    QSlider* brightness = sliderFor(page, "Brightness");
    ASSERT_NE(brightness, nullptr) << "no slider for vivid's brightness";
    EXPECT_EQ(brightness->value(), 128) << "the page shows the driver's value";
    EXPECT_EQ(brightness->maximum(), 255);
    brightness->setValue(255);
    EXPECT_EQ(driverValue(V4L2_CID_BRIGHTNESS), 255);
    EXPECT_EQ(commandOutput("v4l2-ctl -d " + node + " --get-ctrl brightness"), "brightness: 255\n");
    EXPECT_TRUE(
        eventually([&] { return watched.reader.latestLevel(7) > blackLevel + 60; }, kDeadline))
        << "the black bar should lighten; it stays at " << watched.reader.latestLevel(7);

    auto* reset = page.findChild<QPushButton*>("resetButton");
    ASSERT_NE(reset, nullptr);
    reset->click();
    EXPECT_EQ(driverValue(V4L2_CID_BRIGHTNESS), 128) << "the driver's default again";
    EXPECT_TRUE(eventually([&] { return watched.showsColourBars(); }, kDeadline));
    watched.graph->Stop();
    watched.graph->RemoveSource(&camera, false);
}

// What the page's controls do with values the driver will not take as they
// are: V4L2 clamps an integer into its range, and refuses a menu entry it
// lacks or a read-only control, keeping the old value.
TEST_F(VividCameraTest, ValuesTheDriverWillNotTakeLeaveWhatItHolds) {
    V4l2ControlSet controls;
    std::string error;
    ASSERT_TRUE(controls.open(node, &error)) << error;

    EXPECT_TRUE(controls.set(V4L2_CID_BRIGHTNESS, 300)) << "clamped, not refused";
    EXPECT_EQ(driverValue(V4L2_CID_BRIGHTNESS), 255);
    ASSERT_NE(knownControl(controls, V4L2_CID_BRIGHTNESS), nullptr);
    EXPECT_EQ(knownControl(controls, V4L2_CID_BRIGHTNESS)->value, 255)
        << "the set keeps what the driver made of the value";
    ASSERT_TRUE(controls.set(V4L2_CID_BRIGHTNESS, 90));
    EXPECT_EQ(driverValue(V4L2_CID_BRIGHTNESS), 90);

    auto withHole = std::find_if(
        controls.controls().begin(), controls.controls().end(),
        [](const V4l2Control& c) { return c.kind == V4l2Control::Kind::Menu && menuHole(c); });
    ASSERT_NE(withHole, controls.controls().end()) << "vivid's \"Menu\" lacks its entry 2";
    int32_t chosen = withHole->value;
    EXPECT_FALSE(controls.set(withHole->id, *menuHole(*withHole)));
    EXPECT_EQ(driverValue(withHole->id), chosen);
    EXPECT_EQ(withHole->value, chosen);

    auto readOnly = std::find_if(
        controls.controls().begin(), controls.controls().end(),
        [](const V4l2Control& c) { return c.readOnly && c.kind == V4l2Control::Kind::Integer; });
    ASSERT_NE(readOnly, controls.controls().end()) << "vivid has a read-only integer";
    int32_t held = readOnly->value;
    EXPECT_FALSE(controls.set(readOnly->id, held + 1));
    EXPECT_EQ(driverValue(readOnly->id), held);
    EXPECT_EQ(driverValue(V4L2_CID_BRIGHTNESS), 90) << "no refusal touched another control";
}

// vivid unbound from its driver while capturing, as a USB camera pulled out:
// the placeholder replaces the last picture, the failure is reported once,
// the udev monitor hears the node go and the lists no longer have it; bound
// again, it is heard, listed and captures as before.
TEST_F(VividCameraTest, PulledOutWhileCapturingGivesThePlaceholderAndTheListsFollow) {
    UdevDaemon udev;
    ASSERT_TRUE(udev.start()) << "systemd-udevd did not answer";
    CameraHotplugWatcher watcher;
    ASSERT_TRUE(watcher.isWatching());
    std::vector<std::string> heard;
    QObject::connect(&watcher, &CameraHotplugWatcher::sig_cameraArrived,
                     [&](const QString& path) { heard.push_back("add " + path.toStdString()); });
    QObject::connect(&watcher, &CameraHotplugWatcher::sig_cameraRemoved,
                     [&](const QString& path) { heard.push_back("remove " + path.toStdString()); });
    auto hasHeard = [&](const std::string& event) {
        QCoreApplication::processEvents();
        return std::find(heard.begin(), heard.end(), event) != heard.end();
    };

    int index = deviceIndexOf(node);
    ASSERT_GE(index, 0);
    WatchedGraph watched;
    CameraSource camera(index, 640, 480);
    std::atomic<int> failures{0};
    camera.SetFailureObserver([&] { ++failures; });
    watched.graph->SelectSource(&camera, true);
    ASSERT_TRUE(eventually([&] { return watched.showsColourBars(); }, kDeadline));

    Clock::time_point pulled = Clock::now();
    ASSERT_TRUE(unbindVivid());
    EXPECT_TRUE(eventually([&] { return !camera.IsRunning() && !camera.FrameValid(); }, kDeadline))
        << "the camera's end was missed";
    std::optional<Clock::time_point> placeholder;
    EXPECT_TRUE(eventually(
        [&] { return (placeholder = watched.reader.firstAllOf("yellow", pulled)).has_value(); },
        kDeadline));
    if (placeholder) {
        auto shownAfter =
            std::chrono::duration_cast<std::chrono::milliseconds>(*placeholder - pulled);
        std::cout << "placeholder shown " << shownAfter.count() << " ms after the unbind\n";
        RecordProperty("placeholder_ms", static_cast<int>(shownAfter.count()));
    }
    // The observer runs just after the picture is marked invalid.
    EXPECT_TRUE(eventually([&] { return failures.load() > 0; }, kDeadline));
    EXPECT_TRUE(eventually([&] { return hasHeard("remove " + node); }, kDeadline))
        << "heard: " << testing::PrintToString(heard);
    EXPECT_EQ(deviceIndexOf(node), -1);
    EXPECT_FALSE(listsVivid()) << "the refreshed list has no vivid";

    std::string replugged = bindVivid();
    ASSERT_FALSE(replugged.empty());
    EXPECT_TRUE(eventually([&] { return hasHeard("add " + replugged); }, kDeadline))
        << "heard: " << testing::PrintToString(heard);
    EXPECT_TRUE(listsVivid());
    index = deviceIndexOf(replugged);
    ASSERT_GE(index, 0);
    camera.Reopen(index, 640, 480);
    ASSERT_EQ(camera.Start(), 0);
    EXPECT_TRUE(eventually([&] { return watched.showsColourBars(); }, kDeadline))
        << "plugged in again, it captures again";
    EXPECT_EQ(failures.load(), 1) << "one report for one camera pulled out";
    watched.graph->Stop();
    watched.graph->RemoveSource(&camera, false);
}
