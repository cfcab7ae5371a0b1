// One tick of the graph at each output mode, with the real effects and the
// real outputs: a camera picture (so the beautify preset runs) or the
// placeholder, 深度美白, the crown, the second-camera inset, a scrolling
// caption; then the virtual camera, the preview and a recording. Beside it,
// in the same run, a memcpy of one 32-bit frame of the same size; the
// counter "x_memcpy" is the tick's time in those copies.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QWidget>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "bench/bench_caption.h"
#include "bench/bench_components.h"
#include "effects/gif_mixer_effect.h"
#include "effects/skin_color_effect.h"
#include "effects/text_mixer_effect.h"
#include "effects/video_effect_small_video.h"
#include "engine/frame_workspace.h"
#include "engine/play_graph.h"
#include "outputs/vcam_output.h"
#include "outputs/video_wnd_output.h"
#include "outputs/wmv_record_output.h"
#include "sources/image_video_source.h"

namespace {
constexpr int kPreset = 1;  // 深度美白

std::unique_ptr<TextMixerEffect> scrollingCaption(int32_t width, int32_t height) {
    return makeBenchCaption(width, height, u"直播测试", 0xFFFFFF00, 0xFF00FF00, 20);
}

// Seconds one memcpy of a frame of this size takes here, the best of 20.
double memcpySeconds(size_t bytes) {
    std::vector<uint8_t> from(bytes, 7), to(bytes);
    double best = 1e9;
    for (int round = 0; round < 20; ++round) {
        auto start = std::chrono::steady_clock::now();
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
        best = std::min(
            best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

// The graph of one mode with every effect and output of the whole job.
struct WholeTick {
    explicit WholeTick(const OutputMode& mode, bool fromCamera)
        : graph(PlayGraph::Create(mode.frameRate)),
          camera(mode.width, mode.height, SOURCE_TYPE_CAMERA),
          second(640, 480, SOURCE_TYPE_CAMERA),
          pendant(QString::fromUtf8(LUMORA_SOURCE_DIR "/skin/effect/挂件/皇冠.gif").toStdWString(),
                  mode.width, mode.height),
          inset(&second),
          caption(scrollingCaption(mode.width, mode.height)),
          preview(&window, false),
          recording((QDir(folder.path()).filePath("tick.flv")).toStdWString(), mode.frameRate,
                    RECORD_VIDEO, mode.width, mode.height),
          workspace(mode.width, mode.height) {
        graph->SetOutputMode(mode);
        beautify.setPreset(kPreset);
        placeholder.SetFrameSize(mode.width, mode.height);
        graph->SetPlaceholderSource(&placeholder);
        if (fromCamera) {
            graph->SelectSource(&camera, false);
        }
        for (VideoEffect* effect :
             std::initializer_list<VideoEffect*>{&beautify, &pendant, &inset, caption.get()}) {
            graph->AddEffect(effect);
        }
        recordingStarted = recording.start();
        graph->AddOutput(VCamOutput::instance());
        graph->AddOutput(&preview);
        graph->AddOutput(&recording);
    }
    ~WholeTick() {
        graph->RemoveOutput(&recording);
        graph->RemoveOutput(&preview);
        graph->RemoveOutput(VCamOutput::instance());
        PlayGraph::Destroy(&graph);
    }

    QTemporaryDir folder;
    PlayGraph* graph;
    ImageVideoSource placeholder;
    StillSource camera;
    StillSource second;
    SkinColorEffect beautify;
    GifMixerEffect pendant;
    VideoEffectSmallVideo inset;
    std::unique_ptr<TextMixerEffect> caption;
    QWidget window;
    VideoWndOutput preview;
    WmvRecordOutput recording;
    bool recordingStarted = false;
    FrameWorkspace workspace;
};

void BM_WholeTick(benchmark::State& state, OutputMode mode, bool fromCamera) {
    WholeTick tick(mode, fromCamera);
    // The first ticks make the virtual camera's block at this size.
    for (int i = 0; i < 10; ++i) {
        tick.graph->ComposeTick(tick.workspace);
        usleep(20'000);
    }
    auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        tick.graph->ComposeTick(tick.workspace);
        benchmark::ClobberMemory();
    }
    double perTick =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() /
        static_cast<double>(state.iterations());
    double copy = memcpySeconds(VideoFrame::Size32(mode.width, mode.height));
    state.counters["memcpy_us"] = copy * 1e6;
    state.counters["x_memcpy"] = perTick / copy;
    state.counters["recording"] = tick.recordingStarted ? 1 : 0;
    QApplication::processEvents();  // lets the preview's queued repaints go
}
BENCHMARK_CAPTURE(BM_WholeTick, camera_standard, kStandardMode, true)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_WholeTick, camera_720p, kHd720Mode, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_WholeTick, camera_1080p, kHd1080Mode, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_WholeTick, placeholder_1080p, kHd1080Mode, false)
    ->Unit(benchmark::kMillisecond);
}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // The virtual camera's block goes into a folder of this run's own.
    QTemporaryDir runtime;
    setenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit().constData(), 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
