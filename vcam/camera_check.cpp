#include "vcam/camera_check.h"

#include <fcntl.h>
#include <sys/klog.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/loopback_module.h"
#include "channel/vcam_reader.h"
#include "vcam/camera_label.h"
#include "vcam/desktop_probe.h"
#include "vcam/loopback_device.h"
#include "vcam/pipewire_node.h"

namespace {
namespace fs = std::filesystem;

// A finding's words in the language of the check.
std::string say(const CameraCheckPlaces& places, const std::string& english,
                const std::string& chinese) {
    return places.language == Language::Chinese ? chinese : english;
}

constexpr const char* kLoadModule =
    "sudo modprobe v4l2loopback exclusive_caps=1 card_label=\"Lumora直播伴侣\"";
constexpr const char* kInstallModule = "sudo apt-get install v4l2loopback-dkms";
constexpr const char* kReloadModule =
    "sudo modprobe -r v4l2loopback && sudo modprobe v4l2loopback exclusive_caps=1 "
    "card_label=\"Lumora直播伴侣\"";

std::string firstLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

std::string readKernelLog() {
    int size = klogctl(10, nullptr, 0);  // SYSLOG_ACTION_SIZE_BUFFER
    if (size <= 0) {
        return {};
    }
    std::string text(static_cast<size_t>(size), '\0');
    int read = klogctl(3, text.data(), size);  // SYSLOG_ACTION_READ_ALL
    text.resize(read > 0 ? static_cast<size_t>(read) : 0);
    return text;
}

// The kernel's refusal of an unsigned module under Secure Boot.
bool secureBootRefused(const std::string& log) {
    std::istringstream lines(log);
    std::string line;
    while (std::getline(lines, line)) {
        bool ours = line.find("v4l2loopback") != std::string::npos;
        bool refused = line.find("Key was rejected") != std::string::npos ||
                       line.find("Lockdown") != std::string::npos ||
                       line.find("Required key not available") != std::string::npos;
        if (ours && refused) {
            return true;
        }
    }
    return false;
}

// Our own feeder, whose writing a device is what the check hopes to find.
constexpr const char* kFeederName = "lumora-vcam";

// A process that holds a device open for writing.
struct Writer {
    std::string name;
    std::string pid;
    bool writeOnly = false;  // opened O_WRONLY, as producers do; readers never
};

// Other processes that hold `device` open for writing.
std::vector<Writer> writersOf(const std::string& procDir, const std::string& device) {
    std::vector<Writer> writers;
    std::error_code error;
    std::string self = std::to_string(getpid());
    for (const auto& process : fs::directory_iterator(procDir, error)) {
        std::string pid = process.path().filename();
        if (pid.find_first_not_of("0123456789") != std::string::npos || pid == self) {
            continue;
        }
        std::error_code inner;
        for (const auto& fd : fs::directory_iterator(process.path() / "fd", inner)) {
            std::error_code linkError;
            if (fs::read_symlink(fd.path(), linkError).string() != device) {
                continue;
            }
            std::string flags;
            std::ifstream info(process.path() / "fdinfo" / fd.path().filename());
            for (std::string line; std::getline(info, line);) {
                if (line.rfind("flags:", 0) == 0) {
                    flags = line.substr(6);
                }
            }
            long mode = std::strtol(flags.c_str(), nullptr, 8) & O_ACCMODE;
            if (mode == O_WRONLY || mode == O_RDWR) {
                writers.push_back(
                    {firstLine((process.path() / "comm").string()), pid, mode == O_WRONLY});
            }
        }
    }
    return writers;
}

void checkModule(const CameraCheckPlaces& places, std::vector<CameraFinding>* findings) {
    std::string log = places.kernelLog ? places.kernelLog() : std::string();
    if (!log.empty() && secureBootRefused(log)) {
        findings->push_back(
            {say(places, "Secure Boot refused the v4l2loopback module (it is not signed)",
                 "安全启动拒绝了 v4l2loopback 模块（它没有签名）"),
             say(places,
                 "sudo mokutil --import /var/lib/dkms/mok.pub, reboot and enrol the key, then ",
                 "sudo mokutil --import /var/lib/dkms/mok.pub，重启并登记密钥，然后 ") +
                 kLoadModule});
    }
    if (!fs::exists(places.moduleDir)) {
        // Loading a module that is not there fails: the package comes first.
        LoopbackPlaces module;
        module.moduleDir = places.moduleDir;
        module.modulesDir = places.modulesDir;
        if (loopbackModuleState(module) == LoopbackModule::Missing) {
            findings->push_back({say(places, "the v4l2loopback module is not installed",
                                     "v4l2loopback 模块没有安装"),
                                 kInstallModule});
        } else {
            findings->push_back(
                {say(places, "the v4l2loopback module is not loaded", "v4l2loopback 模块没有加载"),
                 kLoadModule});
        }
        return;
    }
    auto devices = places.labelledDevices ? places.labelledDevices() : std::vector<std::string>{};
    if (devices.empty()) {
        findings->push_back({say(places, "no loopback device is labelled \"", "没有标签为“") +
                                 kCameraLabel + say(places, "\"", "”的回环设备"),
                             kReloadModule});
    }
    std::string exclusive = firstLine(places.moduleDir + "/parameters/exclusive_caps");
    if (!devices.empty() && exclusive.find('Y') == std::string::npos &&
        exclusive.find('1') == std::string::npos) {
        findings->push_back(
            {say(places,
                 "v4l2loopback is loaded without exclusive_caps=1, so browsers do not take the "
                 "device for a camera",
                 "v4l2loopback 加载时没有 exclusive_caps=1，浏览器不把这个设备当作摄像头"),
             kReloadModule});
    }
}

// The PipeWire road as programs take it: a session manager to link them,
// and for browsers the camera portal and their own setting.
void checkPipeWireRoad(const CameraCheckPlaces& places, std::vector<CameraFinding>* findings) {
    if (places.sessionManagerRuns && !places.sessionManagerRuns()) {
        findings->push_back(
            {say(places,
                 "PipeWire runs without a session manager, so no program is linked to the camera",
                 "PipeWire 没有会话管理器，没有程序能连上这个摄像头"),
             "sudo apt-get install wireplumber && systemctl --user enable --now "
             "wireplumber.service"});
    }
    if (places.cameraPortalAnswers && !places.cameraPortalAnswers()) {
        findings->push_back(
            {say(places,
                 "the desktop's camera portal does not answer, so browsers find no PipeWire camera",
                 "桌面的摄像头门户没有应答，浏览器找不到 PipeWire 摄像头"),
             "sudo apt-get install xdg-desktop-portal xdg-desktop-portal-gtk" +
                 say(places, ", then log in again", "，然后重新登录"),
             false});
    }
    auto browsers = places.browsersWithoutPipeWireCamera ? places.browsersWithoutPipeWireCamera()
                                                         : std::vector<std::string>{};
    for (const auto& browser : browsers) {
        bool firefox = browser.rfind("Firefox", 0) == 0;
        findings->push_back(
            {browser + say(places, " does not take PipeWire cameras", " 不使用 PipeWire 摄像头"),
             firefox ? say(places,
                           "set media.webrtc.camera.allow-pipewire to true in about:config, then "
                           "restart Firefox",
                           "在 about:config 中把 media.webrtc.camera.allow-pipewire 设为 true，"
                           "然后重启 Firefox")
                     : say(places,
                           "turn on chrome://flags/#enable-webrtc-pipewire-camera (or start it "
                           "with --enable-features=WebRtcPipeWireCamera), then restart it",
                           "打开 chrome://flags/#enable-webrtc-pipewire-camera（或以 "
                           "--enable-features=WebRtcPipeWireCamera 启动），然后重启浏览器"),
             false});
    }
}

std::string sizeText(PictureSize size) {
    return std::to_string(size.width) + "x" + std::to_string(size.height);
}

// A device that a program held when Lumora's picture changed size keeps its
// old size: the camera works, with the picture letterboxed. While our feeder
// writes it, it takes the new size by itself once the program lets go.
void checkDeviceSize(const CameraCheckPlaces& places, const std::string& device, bool fedByUs,
                     std::vector<CameraFinding>* findings) {
    auto size = places.deviceSize ? places.deviceSize(device) : std::nullopt;
    auto mode = places.channelMode ? places.channelMode() : std::nullopt;
    if (!size || !mode || *size == mode->size) {
        return;
    }
    if (fedByUs) {
        findings->push_back(
            {say(places,
                 device + " is held at " + sizeText(*size) +
                     " by a program reading it, so Lumora's " + sizeText(mode->size) +
                     " pictures are letterboxed into it",
                 device + " 被正在读取它的程序占用在 " + sizeText(*size) + "，Lumora 的 " +
                     sizeText(mode->size) + " 画面加上黑边放进去"),
             say(places,
                 "it takes the new size by itself once that program closes it (lumora-vcam "
                 "tries every few seconds)",
                 "那个程序关闭它之后，lumora-vcam 会自动换成新的大小（每隔几秒尝试一次）"),
             false});
        return;
    }
    findings->push_back(
        {say(places,
             device + " stays at " + sizeText(*size) + " while Lumora makes " +
                 sizeText(mode->size) +
                 " pictures (a program held it when the size changed), so programs get them "
                 "scaled",
             device + " 保持 " + sizeText(*size) + "，而 Lumora 的画面是 " + sizeText(mode->size) +
                 "（大小改变时有程序占用它），程序收到的是缩放后的画面"),
         say(places, "close the programs that use " + device + ", then restart lumora-vcam",
             "关闭使用 " + device + " 的程序，然后重启 lumora-vcam"),
         false});
}

std::string autoMend(const CameraCheckPlaces& places) {
    return say(places, "lumora-vcam --auto (it finds the device labelled \"",
               "lumora-vcam --auto（它会找到标签为“") +
           kCameraLabel + say(places, "\")", "”的设备）");
}

void checkDevice(const CameraCheckPlaces& places, const std::string& device,
                 std::vector<CameraFinding>* findings) {
    std::string label = places.deviceLabel ? places.deviceLabel(device) : std::string();
    if (label.empty()) {
        findings->push_back(
            {device + say(places, " is not a video device", " 不是视频设备"), autoMend(places)});
        return;
    }
    if (label.rfind(kCameraLabel, 0) != 0) {
        findings->push_back({say(places, device + " is \"" + label + "\", not Lumora's camera",
                                 device + " 是“" + label + "”，不是 Lumora 的摄像头"),
                             autoMend(places)});
        return;
    }
    auto writers = writersOf(places.procDir, device);
    bool fedByUs = std::any_of(writers.begin(), writers.end(),
                               [](const Writer& writer) { return writer.name == kFeederName; });
    for (const auto& writer : writers) {
        // Capture programs open cameras for reading and writing too: beside
        // our feeder, only a write-only opener is surely another producer.
        if (writer.name == kFeederName || (fedByUs && !writer.writeOnly)) {
            continue;
        }
        findings->push_back(
            {say(places,
                 "another program, " + writer.name + " (pid " + writer.pid + "), already writes " +
                     device,
                 "另一个程序 " + writer.name + "（pid " + writer.pid + "）已经在写 " + device),
             "kill " + writer.pid});
    }
    checkDeviceSize(places, device, fedByUs, findings);
}
}  // namespace

CameraCheckPlaces machineCheckPlaces() {
    CameraCheckPlaces places;
    places.kernelLog = &readKernelLog;
    places.pipeWireAnswers = &PipeWireNode::daemonAnswers;
    places.sessionManagerRuns = &pipeWireSessionManagerRuns;
    places.cameraPortalAnswers = &cameraPortalAnswers;
    places.browsersWithoutPipeWireCamera = [] {
        const char* home = std::getenv("HOME");
        return home != nullptr ? browsersWithoutPipeWireCamera(home) : std::vector<std::string>{};
    };
    places.labelledDevices = [] { return findVideoDevicesByLabelPrefix(kCameraLabel); };
    places.deviceLabel = &videoDeviceLabel;
    places.deviceSize = &videoDeviceOutputSize;
    places.channelMode = &channelModeNow;
    places.language = programLanguage();
    return places;
}

std::optional<PictureMode> channelModeNow() {
    VCamReader reader;
    reader.poll();
    int width = 0, height = 0;
    uint32_t imageSize = 0;
    std::optional<PictureMode> mode;
    if (reader.acquireFrame(&width, &height, &imageSize) != nullptr &&
        reader.header().sequence != 0) {
        mode = PictureMode{{width, height}, reader.frameRate()};
    }
    reader.release();
    return mode;
}

std::vector<CameraFinding> checkVirtualCamera(const CameraCheckPlaces& places) {
    std::vector<CameraFinding> loopback;
    checkModule(places, &loopback);
    auto devices = places.devices;
    if (devices.empty() && places.labelledDevices) {
        devices = places.labelledDevices();
    }
    for (const auto& device : devices) {
        checkDevice(places, device, &loopback);
    }
    bool pipeWire = places.pipeWireAnswers && places.pipeWireAnswers();
    // PipeWire alone is a whole road: the loopback findings then only matter
    // to programs that do not reach cameras through PipeWire, and for an
    // explicitly named device.
    std::vector<CameraFinding> findings;
    if (!pipeWire) {
        findings = loopback;
        findings.push_back({say(places, "no PipeWire daemon answers", "PipeWire 守护进程没有应答"),
                            "systemctl --user enable --now pipewire.socket wireplumber.service"});
    } else {
        if (!places.devices.empty()) {
            findings = loopback;
        }
        checkPipeWireRoad(places, &findings);
    }
    return findings;
}

bool anyBlocking(const std::vector<CameraFinding>& findings) {
    for (const auto& finding : findings) {
        if (finding.blocking) {
            return true;
        }
    }
    return false;
}

std::string describeFindings(const std::vector<CameraFinding>& findings, Language language) {
    const char* between = language == Language::Chinese ? "：" : ": ";
    std::string text;
    for (const auto& finding : findings) {
        text += finding.problem + between + finding.mend + "\n";
    }
    return text;
}
