#include "tests/support/weston_compositor.h"

#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>

#include "tests/support/eventually.h"

namespace {
using namespace std::chrono_literals;

constexpr const char* kSocketName = "wayland-lumora-test";

bool inside(const ScreenBox& box, int x, int y) {
    return x >= box.x && x < box.x + box.width && y >= box.y && y < box.y + box.height;
}

// The one PNG a screenshooter run left in `folder`, or "".
std::string pictureIn(const std::filesystem::path& folder) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        if (entry.path().extension() == ".png") {
            return entry.path().string();
        }
    }
    return "";
}
}  // namespace

uint32_t ScreenPicture::at(int x, int y) const {
    const size_t offset = (static_cast<size_t>(y) * width + x) * 3;
    return (uint32_t{rgb[offset]} << 16) | (uint32_t{rgb[offset + 1]} << 8) | rgb[offset + 2];
}

ScreenBox ScreenPicture::boundsApartFrom(uint32_t colour, const ScreenBox& ignored) const {
    int left = width, top = height, right = -1, bottom = -1;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (at(x, y) == colour || inside(ignored, x, y)) {
                continue;
            }
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    if (right < 0) {
        return {};
    }
    return {left, top, right - left + 1, bottom - top + 1};
}

int ScreenPicture::coloursIn(const ScreenBox& box) const {
    std::set<uint32_t> colours;
    for (int y = std::max(box.y, 0); y < std::min(box.y + box.height, height); ++y) {
        for (int x = std::max(box.x, 0); x < std::min(box.x + box.width, width); ++x) {
            colours.insert(at(x, y));
        }
    }
    return static_cast<int>(colours.size());
}

WestonCompositor::WestonCompositor(Output output, int width, int height, int scale)
    : output_(output), width_(width), height_(height), scale_(scale) {
    // mkdtemp made it 0700 already; a runtime folder must never be more open.
    chmod(runtime_.file("").c_str(), 0700);
}

WestonCompositor::~WestonCompositor() { stop(); }

// A plain desktop without panel, lock screen, animations or input method:
// nothing moves on the screen but the clients' windows.
bool WestonCompositor::writeConfig() const {
    std::ofstream config(runtime_.file("weston.ini"));
    char colour[16];
    std::snprintf(colour, sizeof colour, "0xff%06x", kDesktopColour);
    config << "[core]\nidle-time=0\n\n"
           << "[shell]\nbackground-color=" << colour << "\npanel-position=none\nlocking=false\n"
           << "animation=none\nstartup-animation=none\nclose-animation=none\n"
           << "focus-animation=none\n\n"
           << "[input-method]\npath=\n";
    return static_cast<bool>(config);
}

std::vector<std::string> WestonCompositor::arguments() const {
    // Weston's socket and lock file go to its own runtime folder; --debug
    // lets any client take screenshots.
    std::vector<std::string> arguments{
        "XDG_RUNTIME_DIR=" + runtime_.file(""),
        "weston",
        output_ == Output::Headless ? "--backend=headless-backend.so" : "--backend=x11-backend.so",
        "--use-pixman",
        std::string("--socket=") + kSocketName,
        "--width=" + std::to_string(width_),
        "--height=" + std::to_string(height_),
        "--scale=" + std::to_string(scale_),
        "--config=" + runtime_.file("weston.ini"),
        "--log=" + runtime_.file("weston.log"),
        "--debug"};
    return arguments;
}

bool WestonCompositor::start(std::string* problem) {
    if (!writeConfig()) {
        *problem = "cannot write weston.ini in " + runtime_.file("");
        return false;
    }
    weston_ = std::make_unique<ChildProcess>();
    if (!weston_->spawn("/usr/bin/env", arguments())) {
        *problem = "cannot start weston";
        return false;
    }
    bool listening = eventually(
        [&] {
            struct stat status {};
            return ::stat(display().c_str(), &status) == 0 && S_ISSOCK(status.st_mode);
        },
        20s);
    if (!listening || weston_->wait(0ms) != -1) {
        *problem = "weston did not open its socket:\n" + log();
        stop();
        return false;
    }
    return true;
}

void WestonCompositor::stop() {
    if (weston_ == nullptr) {
        return;
    }
    weston_->signal(SIGTERM);
    if (weston_->wait(10s) == -1) {
        weston_->signal(SIGKILL);
        weston_->wait();
    }
    weston_.reset();
}

std::string WestonCompositor::display() const { return runtime_.file(kSocketName); }

std::string WestonCompositor::log() const { return contentsOf(runtime_.file("weston.log")); }

bool WestonCompositor::screenshot(const std::string& pngPath, ScreenPicture* picture,
                                  std::string* problem) {
    // weston-screenshooter names its file by the time and writes it where it
    // runs: a folder of its own for each shot.
    std::filesystem::path folder = runtime_.file("shot-" + std::to_string(++shots_));
    std::filesystem::create_directories(folder);
    ChildProcess shooter;
    shooter.spawn("/bin/sh",
                  {"-c", "cd \"$1\" && exec env WAYLAND_DISPLAY=\"$2\" weston-screenshooter", "sh",
                   folder.string(), display()});
    if (shooter.wait(20s) != 0 || pictureIn(folder).empty()) {
        *problem = "weston-screenshooter took no picture:\n" + log();
        return false;
    }
    // Across file systems a rename fails; the copy's source goes with its folder.
    std::string taken = pictureIn(folder);
    std::error_code error;
    std::filesystem::rename(taken, pngPath, error);
    if (error) {
        std::filesystem::copy_file(taken, pngPath,
                                   std::filesystem::copy_options::overwrite_existing, error);
    }
    std::filesystem::remove_all(folder, error);
    picture->width = width_ * scale_;
    picture->height = height_ * scale_;
    std::string bytes = commandOutput("ffmpeg -loglevel error -i '" + pngPath +
                                      "' -f rawvideo -pix_fmt rgb24 - 2>/dev/null");
    if (bytes.size() != static_cast<size_t>(picture->width) * picture->height * 3) {
        *problem = "the screenshot " + pngPath + " is not " + std::to_string(picture->width) +
                   " x " + std::to_string(picture->height);
        return false;
    }
    picture->rgb.assign(bytes.begin(), bytes.end());
    return true;
}
