#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "channel/virtual_camera_server.h"
#include "tests/support/runtime_dir.h"
#include "tests/support/test_frames.h"
#include "tests/support/test_media.h"
#include "vcam/camera_check.h"
#include "vcam/desktop_probe.h"
#include "vcam/loopback_device.h"

namespace {
namespace fs = std::filesystem;

bool mentions(const std::vector<CameraFinding>& findings, const std::string& problem,
              const std::string& mend) {
    for (const auto& finding : findings) {
        if (finding.problem.find(problem) != std::string::npos &&
            finding.mend.find(mend) != std::string::npos) {
            return true;
        }
    }
    return false;
}

void writeFile(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

// lumora-vcam's output and exit code for `arguments`, in `environment`.
std::pair<std::string, int> runVcam(const std::string& arguments, const std::string& environment) {
    std::string program =
        (fs::read_symlink("/proc/self/exe").parent_path() / "lumora-vcam").string();
    std::string text;
    FILE* pipe = popen((environment + " " + program + " " + arguments + " 2>&1").c_str(), "r");
    char chunk[512];
    while (pipe != nullptr && fgets(chunk, sizeof chunk, pipe) != nullptr) {
        text += chunk;
    }
    int status = pipe != nullptr ? pclose(pipe) : -1;
    return {text, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}
}  // namespace

TEST(CameraCheckTest, EveryFindingComesWithTheCommandThatMendsIt) {
    ScratchDir dir;
    CameraCheckPlaces places;
    places.moduleDir = dir.file("module-absent");
    places.procDir = dir.file("proc");
    places.pipeWireAnswers = [] { return false; };
    // Built for the running kernel, not loaded: load it.
    places.modulesDir = dir.file("modules");
    writeFile(places.modulesDir + "/modules.dep",
              "updates/dkms/v4l2loopback.ko.xz: kernel/drivers/media/v4l2-core/videodev.ko.xz\n");
    auto findings = checkVirtualCamera(places);
    EXPECT_TRUE(
        mentions(findings, "module is not loaded",
                 "sudo modprobe v4l2loopback exclusive_caps=1 card_label=\"Lumora直播伴侣\""));
    EXPECT_TRUE(mentions(findings, "no PipeWire daemon", "systemctl --user enable --now"));
    EXPECT_FALSE(mentions(findings, "not installed", ""));
    // Not there at all: loading it would fail, so the package comes first.
    writeFile(places.modulesDir + "/modules.dep",
              "kernel/drivers/media/v4l2-core/videodev.ko.xz:\n");
    findings = checkVirtualCamera(places);
    EXPECT_TRUE(
        mentions(findings, "module is not installed", "sudo apt-get install v4l2loopback-dkms"));
    EXPECT_FALSE(mentions(findings, "not loaded", ""));
    places.language = Language::Chinese;
    EXPECT_TRUE(mentions(checkVirtualCamera(places), "v4l2loopback 模块没有安装",
                         "sudo apt-get install v4l2loopback-dkms"));
    places.language = Language::English;

    // Loaded, but without exclusive_caps and with no device labelled for us.
    places.moduleDir = dir.file("module");
    writeFile(places.moduleDir + "/parameters/exclusive_caps", "N,N\n");
    places.labelledDevices = [] { return std::vector<std::string>{}; };
    findings = checkVirtualCamera(places);
    EXPECT_FALSE(mentions(findings, "module is not loaded", ""));
    EXPECT_TRUE(mentions(findings, "no loopback device is labelled", "modprobe -r v4l2loopback"));

    // Our device, loaded without exclusive_caps, written by another program.
    places.labelledDevices = [] { return std::vector<std::string>{"/dev/video42"}; };
    places.deviceLabel = [](const std::string& path) {
        return path == "/dev/video42" ? std::string("Lumora直播伴侣") : std::string();
    };
    fs::create_directories(dir.file("proc/4242/fd"));
    fs::create_symlink("/dev/video42", dir.file("proc/4242/fd/5"));
    writeFile(dir.file("proc/4242/fdinfo/5"), "pos:\t0\nflags:\t0100001\n");
    writeFile(dir.file("proc/4242/comm"), "obs\n");
    findings = checkVirtualCamera(places);
    EXPECT_TRUE(mentions(findings, "without exclusive_caps=1", "exclusive_caps=1"));
    EXPECT_TRUE(mentions(findings, "obs (pid 4242), already writes /dev/video42", "kill 4242"));

    // Our own feeder writing the device is what should be, never a finding.
    fs::create_directories(dir.file("proc/4343/fd"));
    fs::create_symlink("/dev/video42", dir.file("proc/4343/fd/3"));
    writeFile(dir.file("proc/4343/fdinfo/3"), "pos:\t0\nflags:\t0100001\n");
    writeFile(dir.file("proc/4343/comm"), "lumora-vcam\n");
    // Beside our feeder, a program that opened the device for reading and
    // writing is a camera program reading it; one that opened it write-only
    // (obs above) is still another producer.
    fs::create_directories(dir.file("proc/4444/fd"));
    fs::create_symlink("/dev/video42", dir.file("proc/4444/fd/7"));
    writeFile(dir.file("proc/4444/fdinfo/7"), "pos:\t0\nflags:\t0100002\n");
    writeFile(dir.file("proc/4444/comm"), "ffmpeg\n");
    findings = checkVirtualCamera(places);
    EXPECT_FALSE(mentions(findings, "4343", "")) << describeFindings(findings);
    EXPECT_FALSE(mentions(findings, "ffmpeg", "")) << describeFindings(findings);
    EXPECT_TRUE(mentions(findings, "obs (pid 4242), already writes /dev/video42", "kill 4242"));
    fs::remove_all(dir.file("proc/4444"));

    // A reader of the device is no producer.
    writeFile(dir.file("proc/4242/fdinfo/5"), "pos:\t0\nflags:\t0100000\n");
    EXPECT_FALSE(mentions(checkVirtualCamera(places), "already writes", ""));

    // A device that is not ours, or no video device at all.
    places.devices = {"/dev/video42", "/dev/null"};
    places.deviceLabel = [](const std::string& path) {
        return path == "/dev/video42" ? std::string("Integrated Camera") : std::string();
    };
    findings = checkVirtualCamera(places);
    EXPECT_TRUE(mentions(findings, "\"Integrated Camera\", not Lumora's camera", "--auto"));
    EXPECT_TRUE(mentions(findings, "/dev/null is not a video device", "--auto"));

    // Secure Boot's refusal, from the kernel log.
    places.kernelLog = [] {
        return std::string(
            "[  3.1] Loading of unsigned module is rejected\n"
            "[  3.2] v4l2loopback: Key was rejected by service\n");
    };
    EXPECT_TRUE(mentions(checkVirtualCamera(places), "Secure Boot", "mokutil --import"));

    // PipeWire answering is a whole road: nothing stands in the way then,
    // unless a device was named.
    places = CameraCheckPlaces{};
    places.moduleDir = dir.file("module-absent");
    places.pipeWireAnswers = [] { return true; };
    EXPECT_TRUE(checkVirtualCamera(places).empty());
    EXPECT_EQ(describeFindings({{"a", "b"}, {"c", "d"}}), "a: b\nc: d\n");
}

TEST(CameraCheckTest, TheProgramPrintsOneLinePerFindingAndFailsWhenBlocked) {
    ScratchDir empty;
    auto [text, code] =
        runVcam("--check --device /dev/null", "PIPEWIRE_RUNTIME_DIR=" + empty.file("no-daemon"));
    EXPECT_EQ(code, 1);
    EXPECT_NE(text.find("/dev/null is not a video device: lumora-vcam --auto"), std::string::npos)
        << text;
    EXPECT_NE(text.find("no PipeWire daemon answers: systemctl --user enable --now "
                        "pipewire.socket wireplumber.service\n"),
              std::string::npos)
        << text;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        EXPECT_NE(text.substr(start, end - start).find(": "), std::string::npos)
            << "every line is a finding and its mend";
        start = end + 1;
    }
}

TEST(CameraCheckTest, ThePipeWireRoadNamesWhatProgramsAndBrowsersLack) {
    ScratchDir home;
    CameraCheckPlaces places;
    places.moduleDir = home.file("module-absent");
    places.pipeWireAnswers = [] { return true; };
    places.sessionManagerRuns = [] { return false; };
    places.cameraPortalAnswers = [] { return false; };
    // A Firefox profile left as it came, one that takes PipeWire cameras,
    // a Chromium without the flag, a Chrome with it.
    writeFile(home.file(".mozilla/firefox/abc.default-esr/prefs.js"),
              "user_pref(\"browser.startup.page\", 1);\n");
    writeFile(home.file(".mozilla/firefox/def.calls/prefs.js"), "\n");
    writeFile(home.file(".mozilla/firefox/def.calls/user.js"),
              "user_pref(\"media.webrtc.camera.allow-pipewire\", true);\n");
    writeFile(home.file(".mozilla/firefox/Crash Reports/events"), "");
    writeFile(home.file(".config/chromium/Local State"), "{\"browser\":{}}");
    writeFile(home.file(".config/google-chrome/Local State"),
              "{\"browser\":{\"enabled_labs_experiments\":[\"enable-webrtc-pipewire-camera@1\"]}}");
    places.browsersWithoutPipeWireCamera = [&] {
        return browsersWithoutPipeWireCamera(home.file(""));
    };

    auto findings = checkVirtualCamera(places);
    ASSERT_EQ(findings.size(), 4u) << describeFindings(findings);
    EXPECT_TRUE(mentions(findings, "without a session manager", "wireplumber.service"));
    EXPECT_TRUE(mentions(findings, "camera portal does not answer", "xdg-desktop-portal"));
    EXPECT_TRUE(mentions(findings, "Firefox (profile abc.default-esr) does not take PipeWire",
                         "media.webrtc.camera.allow-pipewire"));
    EXPECT_TRUE(mentions(findings, "Chromium does not take PipeWire",
                         "--enable-features=WebRtcPipeWireCamera"));
    EXPECT_TRUE(anyBlocking(findings)) << "nothing links a program to the camera";

    // With a session manager, the rest is advice for some browsers only.
    places.sessionManagerRuns = [] { return true; };
    findings = checkVirtualCamera(places);
    EXPECT_EQ(findings.size(), 3u);
    EXPECT_FALSE(anyBlocking(findings));

    // All in place: nothing to say.
    places.cameraPortalAnswers = [] { return true; };
    places.browsersWithoutPipeWireCamera = {};
    EXPECT_TRUE(checkVirtualCamera(places).empty());
}

// A loopback device that a program held when Lumora's picture grew keeps its
// old size; the check names it with both sizes, without blocking (the camera
// works, scaled). What the channel carries comes from a real writer, read by
// the check's own probe.
TEST(CameraCheckTest, ADeviceThatKeptItsOldSizeIsNamedWithoutBlocking) {
    ScopedRuntimeDir runtime;
    ScratchDir dir;
    CameraCheckPlaces places;
    places.moduleDir = dir.file("module");
    writeFile(places.moduleDir + "/parameters/exclusive_caps", "Y\n");
    places.procDir = dir.file("proc");
    places.devices = {"/dev/video42"};
    places.labelledDevices = [] { return std::vector<std::string>{"/dev/video42"}; };
    places.deviceLabel = [](const std::string&) { return std::string("Lumora直播伴侣"); };
    places.deviceSize = [](const std::string&) { return PictureSize{640, 480}; };
    places.channelMode = &channelModeNow;
    places.pipeWireAnswers = [] { return true; };
    const std::string stays = "/dev/video42 stays at 640x480 while Lumora makes 1280x720 pictures";
    const std::string mend = "close the programs that use /dev/video42, then restart lumora-vcam";

    EXPECT_EQ(channelModeNow(), std::nullopt) << "no writer";
    EXPECT_TRUE(checkVirtualCamera(places).empty());

    VirtualCameraServer writer;
    ASSERT_TRUE(writer.start(640, 480));
    ASSERT_TRUE(writer.resize(1280, 720));
    writer.setFrameRate(30);
    auto picture = makePatternFrame24(1280, 720, 4);
    writer.writeFrame(picture.data(), picture.size());
    EXPECT_EQ(channelModeNow(), (PictureMode{{1280, 720}, 30}));
    auto findings = checkVirtualCamera(places);
    EXPECT_TRUE(mentions(findings, stays, mend)) << describeFindings(findings);
    EXPECT_FALSE(anyBlocking(findings));

    // While our feeder writes it, the device is held by a reader: the
    // pictures are letterboxed, and it follows by itself once free.
    fs::create_directories(dir.file("proc/77/fd"));
    fs::create_symlink("/dev/video42", dir.file("proc/77/fd/4"));
    writeFile(dir.file("proc/77/fdinfo/4"), "pos:\t0\nflags:\t01\n");
    writeFile(dir.file("proc/77/comm"), "lumora-vcam\n");
    findings = checkVirtualCamera(places);
    EXPECT_TRUE(mentions(findings,
                         "/dev/video42 is held at 640x480 by a program reading it, so Lumora's "
                         "1280x720 pictures are letterboxed into it",
                         "takes the new size by itself"))
        << describeFindings(findings);
    EXPECT_FALSE(mentions(findings, stays, "")) << describeFindings(findings);
    EXPECT_FALSE(anyBlocking(findings));
    fs::remove_all(dir.file("proc/77"));

    ASSERT_TRUE(writer.resize(640, 480));
    writer.setFrameRate(15);
    auto small = makePatternFrame24(640, 480, 5);
    writer.writeFrame(small.data(), small.size());
    EXPECT_EQ(channelModeNow(), (PictureMode{{640, 480}, 15}));
    findings = checkVirtualCamera(places);
    EXPECT_TRUE(findings.empty()) << describeFindings(findings);

    // The machine's own size probe says nothing of what is no video device.
    EXPECT_EQ(videoDeviceOutputSize("/dev/null"), std::nullopt);
    EXPECT_EQ(videoDeviceOutputSize(dir.file("absent")), std::nullopt);
}
