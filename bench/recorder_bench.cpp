// The cost of recording a minute of 640 x 480 at 15 fps with sound, beside a
// plain gst-launch-1.0 pipeline with the same encoders and settings, and the
// drift between sound and picture over a long recording. Needs a sound server
// (the tests' one: tools/pulse-fixture.sh start DIR, then PULSE_SERVER).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "bench/plain_pipeline.h"
#include "engine/play_graph.h"
#include "engine/video_effect.h"
#include "engine/video_source.h"
#include "outputs/wmv_record_output.h"

namespace {
using Clock = std::chrono::steady_clock;

std::string scratchFile(const char* name) {
    return (std::filesystem::temp_directory_path() / name).string();
}

// A white ball moving over black, like videotestsrc's "ball" pattern, so the
// encoder has the same kind of work in both recordings.
class MovingBall : public VideoEffect {
public:
    void Process(uint8_t* data, size_t, int32_t width, int32_t height) override {
        std::fill(data, data + static_cast<size_t>(width) * height * 4, 0);
        int cx = 320 + static_cast<int>(250 * std::sin(tick_ * 0.07));
        int cy = 240 + static_cast<int>(180 * std::cos(tick_ * 0.05));
        for (int y = cy - 20; y < cy + 20; ++y) {
            for (int x = cx - 20; x < cx + 20; ++x) {
                if ((x - cx) * (x - cx) + (y - cy) * (y - cy) < 400) {
                    uint8_t* px = data + (static_cast<size_t>(y) * width + x) * 4;
                    px[0] = px[1] = px[2] = 255;
                }
            }
        }
        ++tick_;
    }

private:
    int tick_ = 0;
};

class Black : public VideoSource {
public:
    Black() {
        std::vector<uint8_t> frame(VideoFrame::kSize32, 0);
        PushFrame(frame.data(), frame.size());
    }
    int32_t Start() override { return 0; }
    void Stop() override {}
    bool IsRunning() override { return true; }
};

// Records `length` of a moving ball with sound through a graph; CPU per second.
double recordOurs(const std::string& file, std::chrono::seconds length) {
    PlayGraph* graph = PlayGraph::Create(15);
    Black black;
    MovingBall ball;
    graph->SetPlaceholderSource(&black);
    graph->AddEffect(&ball);
    double cpu = -1;
    {
        WmvRecordOutput output(std::wstring(file.begin(), file.end()), 15,
                               RECORD_SOUND | RECORD_VIDEO);
        if (output.start()) {
            graph->AddOutput(&output);
            graph->Start();
            double before = processCpuSeconds();
            auto started = Clock::now();
            std::this_thread::sleep_for(length);
            cpu = (processCpuSeconds() - before) /
                  std::chrono::duration<double>(Clock::now() - started).count();
            graph->RemoveOutput(&output);
            graph->Stop();
        }
    }
    graph->RemoveEffect(&ball);
    PlayGraph::Destroy(&graph);
    return cpu;
}

double recordPlain(const std::string& file, std::chrono::seconds length) {
    return plainPipelineCoreFraction(
        splitWords("flvmux name=mux streamable=true ! filesink location=" + file +
                   " videotestsrc is-live=true pattern=ball !"
                   " video/x-raw,format=BGR,width=640,height=480,framerate=15/1 ! queue !"
                   " videoconvert ! videoflip video-direction=vert ! x264enc tune=zerolatency"
                   " speed-preset=superfast key-int-max=30 ! h264parse ! queue ! mux."
                   " audiotestsrc is-live=true freq=440 !"
                   " audio/x-raw,format=S16LE,rate=44100,channels=2 ! queue ! audioconvert !"
                   " audioresample ! voaacenc ! aacparse ! queue ! mux."),
        length);
}

// Seconds of a stream of the file, from its packets' end.
double streamEnd(const std::string& file, const char* stream) {
    std::string command = "ffprobe -v error -select_streams " + std::string(stream) +
                          " -show_entries packet=pts_time,duration_time -of csv=p=0 '" + file +
                          "' | tail -n 1";
    FILE* pipe = popen(command.c_str(), "r");
    double pts = 0, duration = 0;
    if (pipe != nullptr) {
        if (std::fscanf(pipe, "%lf,%lf", &pts, &duration) < 1) {
            pts = -1;
        }
        pclose(pipe);
    }
    return pts + duration;
}

void BM_RecordOneMinute(benchmark::State& state) {
    for (auto _ : state) {
        double ours = recordOurs(scratchFile("lumora-bench-ours.flv"), std::chrono::seconds(60));
        double plain = recordPlain(scratchFile("lumora-bench-plain.flv"), std::chrono::seconds(60));
        state.counters["ours_core_fraction"] = ours;
        state.counters["plain_core_fraction"] = plain;
        state.counters["ratio"] = ours / plain;
    }
}
BENCHMARK(BM_RecordOneMinute)->Iterations(1)->Unit(benchmark::kSecond);

// Run by hand: --benchmark_filter=Drift (ten minutes).
void BM_DriftAfterTenMinutes(benchmark::State& state) {
    for (auto _ : state) {
        std::string file = scratchFile("lumora-bench-drift.flv");
        recordOurs(file, std::chrono::minutes(10));
        double video = streamEnd(file, "v:0"), sound = streamEnd(file, "a:0");
        state.counters["video_end_s"] = video;
        state.counters["sound_end_s"] = sound;
        state.counters["offset_ms"] = (sound - video) * 1000;
    }
}
BENCHMARK(BM_DriftAfterTenMinutes)->Iterations(1)->Unit(benchmark::kSecond);
}  // namespace

BENCHMARK_MAIN();
