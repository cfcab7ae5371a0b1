// lumora-vcam: the reader side of Lumora's virtual camera. See --help.

#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <memory>

#include "base/language.h"
#include "channel/reader_lock.h"
#include "vcam/camera_check.h"
#include "vcam/camera_label.h"
#include "vcam/loopback_device.h"
#include "vcam/pipewire_node.h"
#include "vcam/reader_loop.h"
#include "vcam/stream_sink.h"
#include "vcam/vcam_options.h"

namespace {
std::atomic<bool> g_quit{false};

void onQuitSignal(int) { g_quit.store(true); }

void installSignalHandlers() {
    struct sigaction quit {};
    quit.sa_handler = onQuitSignal;
    sigaction(SIGTERM, &quit, nullptr);
    sigaction(SIGINT, &quit, nullptr);
    // A consumer that goes away shows as a failed write, not as a signal.
    std::signal(SIGPIPE, SIG_IGN);
}

struct Sinks {
    std::vector<std::unique_ptr<FrameSink>> owned;
};

// Opens every device that can be fed and names each one that cannot; false
// when none could.
bool openDevices(const std::vector<std::string>& paths, OutputFormat format, Sinks* sinks) {
    size_t opened = 0;
    for (const auto& path : paths) {
        auto device = std::make_unique<LoopbackDevice>();
        std::string error;
        if (!device->open(path, format, ReaderLoop::kWidth, ReaderLoop::kHeight, &error)) {
            std::fprintf(stderr, "lumora-vcam: %s\n", error.c_str());
            continue;
        }
        sinks->owned.push_back(std::move(device));
        ++opened;
    }
    if (opened > 0 && opened < paths.size()) {
        std::fprintf(stderr, "lumora-vcam: feeding %zu of %zu devices\n", opened, paths.size());
    }
    return opened > 0;
}

bool openPipeWire(Sinks* sinks) {
    auto node = std::make_unique<PipeWireNode>();
    std::string error;
    if (!node->open(&error)) {
        std::fprintf(stderr, "lumora-vcam: %s\n", error.c_str());
        return false;
    }
    sinks->owned.push_back(std::move(node));
    return true;
}

// The sinks the options ask for; empty with the exit code in `exitCode`
// when there is nothing to feed.
Sinks openSinks(const VCamOptions& options, int* exitCode) {
    Sinks sinks;
    bool opened = true;
    switch (options.target) {
        case VCamOptions::Target::Stream:
            sinks.owned.push_back(std::make_unique<StreamSink>(
                STDOUT_FILENO, options.format, PictureSize{ReaderLoop::kWidth, ReaderLoop::kHeight},
                STDERR_FILENO));
            break;
        case VCamOptions::Target::Device:
            opened = openDevices(options.devicePaths, options.format, &sinks);
            break;
        case VCamOptions::Target::PipeWire:
            opened = openPipeWire(&sinks);
            break;
        case VCamOptions::Target::AutoDevice: {
            auto devices = findVideoDevicesByLabelPrefix(kCameraLabel);
            if (!devices.empty()) {
                opened = openDevices(devices, options.format, &sinks);
            } else if (PipeWireNode::daemonAnswers()) {
                opened = openPipeWire(&sinks);
            }
            break;  // neither road: nothing to feed, and nothing wrong
        }
    }
    if (!opened) {
        sinks.owned.clear();
        *exitCode = 1;
    }
    return sinks;
}

int runCheck(const VCamOptions& options) {
    CameraCheckPlaces places = machineCheckPlaces();
    places.devices = options.devicePaths;
    auto findings = checkVirtualCamera(places);
    bool blocked = anyBlocking(findings);
    if (!blocked) {
        std::puts(places.language == Language::Chinese ? "虚拟摄像头可以使用"
                                                       : "the virtual camera can be reached");
    }
    std::fputs(describeFindings(findings, places.language).c_str(), stdout);
    return blocked ? 1 : 0;
}
}  // namespace

int main(int argc, char** argv) {
    std::string error;
    auto options = parseVCamOptions(argc, argv, &error);
    if (!options) {
        std::fprintf(stderr, "lumora-vcam: %s\n%s", error.c_str(),
                     vcamUsage(argv[0], programLanguage()).c_str());
        return 2;
    }
    if (options->help) {
        std::fputs(vcamUsage(argv[0], programLanguage()).c_str(), stdout);
        return 0;
    }
    if (options->check) {
        return runCheck(*options);
    }
    installSignalHandlers();
    // One camera feeder per user; raw output to a pipe is anyone's to take.
    ReaderLock lock;
    if (options->target != VCamOptions::Target::Stream && !lock.take()) {
        return 0;  // another lumora-vcam (the user's service, say) feeds the camera
    }
    int exitCode = 0;
    Sinks sinks = openSinks(*options, &exitCode);
    if (sinks.owned.empty()) {
        return exitCode;
    }
    std::vector<FrameSink*> targets;
    for (auto& sink : sinks.owned) {
        targets.push_back(sink.get());
    }
    ReaderLoop loop(targets);
    return loop.run(g_quit) ? 0 : 1;
}
