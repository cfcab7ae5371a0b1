#include "tests/vcam/loopback_feed.h"

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

#include "engine/play_graph.h"
#include "outputs/vcam_output.h"
#include "sources/image_video_source.h"
#include "tests/vcam/browser_marker.h"
#include "tests/vcam/loopback_consumer.h"
#include "vcam/loopback_device.h"

namespace {
using namespace std::chrono_literals;

VideoOutput* virtualCamera() { return VCamOutput::instance(); }

int writeMarkedPictures(int out) {
    PlayGraph::SetDefaultOutputProvider(&virtualCamera);
    ImageVideoSource placeholder;
    BrowserMarker marker;
    PlayGraph* graph = PlayGraph::Instance();
    graph->SetPlaceholderSource(&placeholder);
    graph->SetFrameRate(15);
    graph->AddEffect(&marker);
    graph->Start();
    writeAll(out, "writing\n");
    for (;;) {
        pause();
    }
    return 0;
}
}  // namespace

MarkedGraph::MarkedGraph() {
    started_ = process_.fork(&writeMarkedPictures);
    std::string line;
    // A graph starting under an emulated processor takes its time.
    started_ = started_ && process_.readLine(&line, 60s) && line == "writing";
}

void MarkedGraph::kill() {
    process_.signal(SIGKILL);
    process_.wait();
}

VCamFeeder::VCamFeeder(std::vector<std::string> arguments) : log_(scratch_.file("vcam.log")) {
    std::string command = "exec " + programBeside("lumora-vcam");
    for (const auto& argument : arguments) {
        command += " " + argument;
    }
    started_ = process_.spawn("/bin/sh", {"-c", command + " 2>" + log_});
}

VCamFeeder::~VCamFeeder() { stop(SIGTERM); }

int VCamFeeder::stop(int signal) {
    if (process_.pid() <= 0) {
        return -1;
    }
    process_.signal(signal);
    return process_.wait(20s);
}

bool VCamFeeder::running() { return process_.pid() > 0 && process_.wait(0ms) == -1; }

std::vector<std::string> loadLabelledLoopback() {
    const char* load =
        "modprobe v4l2loopback devices=2 exclusive_caps=1,1 "
        "card_label='Lumora直播伴侣,Lumora直播伴侣 2'";
    if (std::system(load) != 0) {
        return {};
    }
    return findVideoDevicesByLabelPrefix("Lumora直播伴侣");
}

bool capturing(const std::string& device) { return loopbackCaptureSize(device).has_value(); }
