// Lumora's console entry point: runs the process-wide play graph and reports
// once a second how many pictures it composed and which source is in front.

#include <csignal>
#include <cstdio>
#include <thread>

#include "app/graph_status_output.h"
#include "engine/play_graph.h"
#include "engine/video_source.h"

namespace {
volatile std::sig_atomic_t g_quit = 0;

void onQuitSignal(int) { g_quit = 1; }

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

    PlayGraph* graph = PlayGraph::Instance();
    graph->SetFrameRate(15);
    GraphStatusOutput status;
    graph->AddOutput(&status);
    graph->Start();

    while (!g_quit) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        std::printf("frames %llu, front source: %s\n",
                    static_cast<unsigned long long>(status.FrameCount()),
                    sourceName(graph->FrontSourceType()));
        std::fflush(stdout);
    }
    graph->Stop();
    graph->RemoveOutput(&status);
    return 0;
}
