#include "tests/vcam/headless_browser.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "tests/support/test_media.h"

namespace {
// Preferences of a Firefox profile that asks no questions, keeps exact
// timers and stays off the network.
constexpr const char* kFirefoxPreferences = R"(
user_pref("media.navigator.permission.disabled", true);
user_pref("media.autoplay.default", 0);
user_pref("privacy.reduceTimerPrecision", false);
user_pref("browser.shell.checkDefaultBrowser", false);
user_pref("browser.aboutwelcome.enabled", false);
user_pref("browser.startup.homepage_override.mstone", "ignore");
user_pref("datareporting.policy.dataSubmissionEnabled", false);
user_pref("toolkit.telemetry.reportingpolicy.firstRun", false);
user_pref("app.update.auto", false);
user_pref("app.normandy.enabled", false);
user_pref("extensions.update.enabled", false);
user_pref("network.captive-portal-service.enabled", false);
user_pref("network.connectivity-service.enabled", false);
user_pref("browser.safebrowsing.malware.enabled", false);
user_pref("browser.safebrowsing.phishing.enabled", false);
user_pref("media.gmp-manager.updateEnabled", false);
)";

using Cameras = HeadlessBrowser::Cameras;

// Without PipeWire both browsers list and open the V4L2 devices themselves;
// Chromium is told so outright in case its default ever changes.
std::string chromiumCameraFeature(Cameras cameras) {
    return cameras == Cameras::PipeWire ? "--enable-features=WebRtcPipeWireCamera"
                                        : "--disable-features=WebRtcPipeWireCamera";
}

std::string firefoxCameraPreference(Cameras cameras) {
    return std::string("user_pref(\"media.webrtc.camera.allow-pipewire\", ") +
           (cameras == Cameras::PipeWire ? "true" : "false") + ");\n";
}

std::vector<std::string> commandLine(HeadlessBrowser::Kind kind, Cameras cameras,
                                     const std::string& profile, const std::string& url) {
    if (kind == HeadlessBrowser::Kind::Chromium) {
        return {"/usr/bin/chromium",
                "--headless=new",
                "--no-sandbox",
                "--use-fake-ui-for-media-stream",
                chromiumCameraFeature(cameras),
                "--autoplay-policy=no-user-gesture-required",
                "--user-data-dir=" + profile,
                "--disable-gpu",
                "--disable-quic",
                "--no-first-run",
                "--disable-background-networking",
                "--disable-component-update",
                "--disable-sync",
                url};
    }
    std::ofstream(profile + "/user.js") << firefoxCameraPreference(cameras) << kFirefoxPreferences;
    return {"/usr/bin/firefox-esr", "--headless", "--no-remote", "--profile", profile, url};
}
}  // namespace

const char* HeadlessBrowser::name(Kind kind) {
    return kind == Kind::Chromium ? "chromium" : "firefox";
}

HeadlessBrowser::HeadlessBrowser(Kind kind, const std::string& url, Cameras cameras) {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "lumora-browser-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        return;
    }
    profile_ = pattern;
    auto arguments = commandLine(kind, cameras, profile_, url);
    std::vector<char*> argv;
    for (auto& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    std::string log = profile_ + "/browser.log";
    pid_ = ::fork();
    if (pid_ == 0) {
        // A group of its own, so that every process the browser starts ends
        // with it; its home in the profile, so nothing of the user's is read.
        ::setsid();
        int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(out, STDERR_FILENO);
        ::setenv("HOME", profile_.c_str(), 1);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
}

HeadlessBrowser::~HeadlessBrowser() {
    if (pid_ > 0) {
        ::kill(-pid_, SIGTERM);
        // A browser that does not end within 5 s is killed.
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (::waitpid(pid_, nullptr, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(-pid_, SIGKILL);
                ::waitpid(pid_, nullptr, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ::kill(-pid_, SIGKILL);  // what is left of its group
    }
    if (!profile_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(profile_, ignored);
    }
}

bool HeadlessBrowser::logContains(const std::string& text) const {
    return contentsOf(profile_ + "/browser.log").find(text) != std::string::npos;
}

std::string HeadlessBrowser::logTail() const {
    std::string all = contentsOf(profile_ + "/browser.log");
    return all.size() > 3000 ? all.substr(all.size() - 3000) : all;
}
