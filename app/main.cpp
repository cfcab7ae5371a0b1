// Lumora's console entry point: runs the process-wide play graph with the
// media site's placeholder picture and the virtual camera, starts the camera device feeder
// beside itself, and reports once a second how many pictures it composed and
// which source is in front.

#include <csignal>
#include <cstdio>
#include <thread>

#include "app/graph_status_output.h"
#include "app/helper_process.h"
#include "app/media_site.h"
#include "engine/play_graph.h"
#include "engine/video_source.h"
#include "outputs/vcam_output.h"

namespace {
volatile std::sig_atomic_t g_quit = 0;

void onQuitSignal(int) { g_quit = 1; }

VideoOutput* virtualCamera() { return VCamOutput::instance(); }

const char* sourceName(int32_t typeId) {
    switch (typeId) {
        case SOURCE_TYPE_PICTURE:
            return "picture";
        case SOURCE_TYPE_CAMERA:
            return "camera";
        case SOURCE_TYPE_VIDEO_FILE:
            return "video file";
        default:
            return "none (placeholder)";
    }
}
}  // namespace

int main() {
    std::signal(SIGINT, onQuitSignal);
    std::signal(SIGTERM, onQuitSignal);

    PlayGraph::SetDefaultOutputProvider(&virtualCamera);
    PlayGraph* graph = PlayGraph::Instance();
    MediaSite::instance();  // the placeholder picture and 15 frames a second
    GraphStatusOutput status;
    graph->AddOutput(&status);
    graph->Start();

    HelperProcess cameraFeeder;
    if (!cameraFeeder.start(executableDirectory() + "/lumora-vcam", {"--auto"})) {
        std::fprintf(stderr, "lumora: could not start lumora-vcam; the camera device stays idle\n");
    }

    while (!g_quit) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        std::printf("frames %llu, front source: %s, virtual camera: %s\n",
                    static_cast<unsigned long long>(status.FrameCount()),
                    sourceName(graph->FrontSourceType()),
                    VCamOutput::instance()->isPublishing() ? "publishing" : "off");
        std::fflush(stdout);
    }
    graph->Stop();
    graph->RemoveOutput(&status);
    return 0;
}
