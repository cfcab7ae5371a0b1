// What our capture paths cost beside the same decoding done by a plain
// gst-launch-1.0 pipeline in the same run, and how late frames reach the
// receiver.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "base/simply_callback.h"
#include "bench/plain_pipeline.h"
#include "libs/capture/capture_devices.h"
#include "libs/capture/stream_capture.h"
#include "libs/capture/video_capture.h"

namespace {
using Clock = std::chrono::steady_clock;
constexpr auto kRun = std::chrono::seconds(10);

// A receiver that copies each frame, as a source's PushFrame does.
class CopyingReceiver : public ISimplyCallBack {
public:
    void OnSimplyCallBack(int msg, unsigned char* data, long size) override {
        if (msg == MSG_FRAME) {
            std::copy(data, data + size, frame_.begin());
            ++frames;
        }
    }
    std::atomic<uint64_t> frames{0};

private:
    std::vector<uint8_t> frame_ = std::vector<uint8_t>(640 * 480 * 4);
};

struct Latencies {
    std::mutex lock;  // guards values
    std::vector<int64_t> values;
    static void note(void* self, int64_t nanoseconds) {
        auto* latencies = static_cast<Latencies*>(self);
        std::lock_guard<std::mutex> guard(latencies->lock);
        latencies->values.push_back(nanoseconds);
    }
    double percentileMs(double p) {
        std::lock_guard<std::mutex> guard(lock);
        if (values.empty()) {
            return -1;
        }
        std::sort(values.begin(), values.end());
        return values[static_cast<size_t>(p * (values.size() - 1))] / 1e6;
    }
};

const char* kScaleTail =
    " ! videoscale ! videoconvert ! video/x-raw,format=BGRx,width=640,height=480,"
    "pixel-aspect-ratio=1/1 ! fakesink sync=false";

// Lets `capture` (started, delivering to `receiver`) run, then the plain
// pipeline, and reports both and the delays.
template <typename StopCapture>
void report(benchmark::State& state, CopyingReceiver& receiver, Latencies& latencies,
            StopCapture stopCapture, const std::string& plainDescription) {
    std::this_thread::sleep_for(std::chrono::seconds(1));
    double cpuBefore = processCpuSeconds();
    auto wallBefore = Clock::now();
    uint64_t framesBefore = receiver.frames;
    std::this_thread::sleep_for(kRun);
    double wall = std::chrono::duration<double>(Clock::now() - wallBefore).count();
    double ours = (processCpuSeconds() - cpuBefore) / wall;
    uint64_t frames = receiver.frames - framesBefore;
    stopCapture();
    double plain = plainPipelineCoreFraction(splitWords(plainDescription), kRun);
    state.counters["fps"] = frames / wall;
    state.counters["ours_cpu_per_s"] = ours;
    state.counters["plain_cpu_per_s"] = plain;
    state.counters["ratio"] = ours / plain;
    state.counters["latency_p50_ms"] = latencies.percentileMs(0.5);
    state.counters["latency_p99_ms"] = latencies.percentileMs(0.99);
}

void BM_TestCameraMjpeg720p(benchmark::State& state) {
    setenv("LUMORA_FAKE_CAMERAS", "1", 1);
    auto devices = listCaptureDevices();
    unsigned index = static_cast<unsigned>(devices.size() - 1);
    int pattern = devices.back().testPattern;
    for (auto _ : state) {
        CopyingReceiver receiver;
        Latencies latencies;
        VideoCapture camera;
        camera.SetLatencyObserver(&Latencies::note, &latencies);
        camera.Init(1280, 720, 640, 480, index);
        camera.Advise(&receiver);
        camera.Start();
        report(
            state, receiver, latencies, [&] { camera.Stop(); },
            "videotestsrc is-live=true pattern=" + std::to_string(pattern) +
                " ! video/x-raw,width=1280,height=720,framerate=30/1,format=RGB ! jpegenc !"
                " image/jpeg ! jpegdec" +
                kScaleTail);
    }
}
BENCHMARK(BM_TestCameraMjpeg720p)->Iterations(1)->Unit(benchmark::kSecond);

void BM_H264File15fps(benchmark::State& state) {
    std::string dir = (std::filesystem::temp_directory_path() / "lumora-bench-XXXXXX").string();
    if (mkdtemp(dir.data()) == nullptr) {
        state.SkipWithError("no temporary folder");
        return;
    }
    std::string file = dir + "/clip.mp4";
    std::string make =
        "ffmpeg -loglevel error -y -f lavfi -i testsrc2=size=640x480:rate=15:d=30 "
        "-c:v libx264 -preset veryfast -pix_fmt yuv420p \"" +
        file + "\"";
    if (std::system(make.c_str()) != 0) {
        state.SkipWithError("ffmpeg could not make the clip");
        return;
    }
    for (auto _ : state) {
        CopyingReceiver receiver;
        Latencies latencies;
        StreamCapture player;
        player.SetLatencyObserver(&Latencies::note, &latencies);
        player.Advise(640, 480, &receiver);
        player.SetPlayMode(1);
        player.AddFile(file);
        player.Start();
        report(
            state, receiver, latencies, [&] { player.Stop(); },
            "filesrc location=" + file +
                " ! qtdemux ! h264parse ! avdec_h264 ! videoscale ! videoconvert !"
                " video/x-raw,format=BGRx,width=640,height=480,pixel-aspect-ratio=1/1 !"
                " fakesink sync=true");
    }
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_H264File15fps)->Iterations(1)->Unit(benchmark::kSecond);
}  // namespace

BENCHMARK_MAIN();
