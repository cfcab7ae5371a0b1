// lumora-vcam: the reader side of Lumora's virtual camera. See --help.

#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <memory>

#include "vcam/loopback_device.h"
#include "vcam/reader_loop.h"
#include "vcam/stream_sink.h"
#include "vcam/vcam_options.h"

namespace {
constexpr const char* kCameraLabel = "Lumora直播伴侣";
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

// The sink the options ask for; null with exit code in `exitCode` otherwise.
std::unique_ptr<FrameSink> openSink(const VCamOptions& options, int* exitCode) {
    if (options.target == VCamOptions::Target::Stream) {
        return std::make_unique<StreamSink>(STDOUT_FILENO);
    }
    std::string path = options.devicePath;
    if (options.target == VCamOptions::Target::AutoDevice) {
        auto found = findVideoDeviceByLabel(kCameraLabel);
        if (!found) {
            *exitCode = 0;  // no loopback device set up: nothing to feed
            return nullptr;
        }
        path = *found;
    }
    auto device = std::make_unique<LoopbackDevice>();
    std::string error;
    if (!device->open(path, options.format, ReaderLoop::kWidth, ReaderLoop::kHeight, &error)) {
        std::fprintf(stderr, "lumora-vcam: %s\n", error.c_str());
        *exitCode = 1;
        return nullptr;
    }
    return device;
}
}  // namespace

int main(int argc, char** argv) {
    std::string error;
    auto options = parseVCamOptions(argc, argv, &error);
    if (!options) {
        std::fprintf(stderr, "lumora-vcam: %s\n%s", error.c_str(), vcamUsage(argv[0]).c_str());
        return 2;
    }
    if (options->help) {
        std::fputs(vcamUsage(argv[0]).c_str(), stdout);
        return 0;
    }
    installSignalHandlers();
    int exitCode = 0;
    auto sink = openSink(*options, &exitCode);
    if (!sink) {
        return exitCode;
    }
    ReaderLoop loop(*sink, options->format);
    loop.run(g_quit);
    return 0;
}
