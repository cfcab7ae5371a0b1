// What our capture paths cost beside the same decoding done by a plain
// gst-launch-1.0 pipeline in the same run, and how late frames reach the
// receiver.

#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/simply_callback.h"
#include "libs/capture/capture_devices.h"
#include "libs/capture/stream_capture.h"
#include "libs/capture/video_capture.h"

extern char** environ;

namespace {
using Clock = std::chrono::steady_clock;
constexpr auto kRun = std::chrono::seconds(10);

double cpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Runs gst-launch-1.0 with the description for `duration` and returns the
// CPU seconds it used per second.
double plainPipelineCpuPerSecond(const std::string& description) {
    std::vector<std::string> words = {"gst-launch-1.0", "-q"};
    std::string word;
    for (char c : description) {
        if (c == ' ') {
            if (!word.empty()) {
                words.push_back(word);
            }
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty()) {
        words.push_back(word);
    }
    std::vector<char*> argv;
    for (auto& w : words) {
        argv.push_back(w.data());
    }
    argv.push_back(nullptr);
    pid_t pid;
    if (posix_spawnp(&pid, "gst-launch-1.0", nullptr, nullptr, argv.data(), environ) != 0) {
        return -1;
    }
    auto started = Clock::now();
    std::this_thread::sleep_for(kRun);
    kill(pid, SIGINT);
    int status;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    double wall = std::chrono::duration<double>(Clock::now() - started).count();
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
            (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6) /
           wall;
}

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
        std::this_thread::sleep_for(std::chrono::seconds(1));
        double cpuBefore = cpuSeconds(RUSAGE_SELF);
        auto wallBefore = Clock::now();
        uint64_t framesBefore = receiver.frames;
        std::this_thread::sleep_for(kRun);
        double ours = (cpuSeconds(RUSAGE_SELF) - cpuBefore) /
                      std::chrono::duration<double>(Clock::now() - wallBefore).count();
        uint64_t frames = receiver.frames - framesBefore;
        camera.Stop();
        double plain = plainPipelineCpuPerSecond(
            "videotestsrc is-live=true pattern=" + std::to_string(pattern) +
            " ! video/x-raw,width=1280,height=720,framerate=30/1,format=RGB ! jpegenc ! "
            "image/jpeg ! jpegdec" +
            kScaleTail);
        state.counters["fps"] = frames / std::chrono::duration<double>(kRun).count();
        state.counters["ours_cpu_per_s"] = ours;
        state.counters["plain_cpu_per_s"] = plain;
        state.counters["ratio"] = ours / plain;
        state.counters["latency_p50_ms"] = latencies.percentileMs(0.5);
        state.counters["latency_p99_ms"] = latencies.percentileMs(0.99);
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
        std::this_thread::sleep_for(std::chrono::seconds(1));
        double cpuBefore = cpuSeconds(RUSAGE_SELF);
        auto wallBefore = Clock::now();
        uint64_t framesBefore = receiver.frames;
        std::this_thread::sleep_for(kRun);
        double ours = (cpuSeconds(RUSAGE_SELF) - cpuBefore) /
                      std::chrono::duration<double>(Clock::now() - wallBefore).count();
        uint64_t frames = receiver.frames - framesBefore;
        player.Stop();
        double plain = plainPipelineCpuPerSecond(
            "filesrc location=" + file +
            " ! qtdemux ! h264parse ! avdec_h264 ! "
            "videoscale ! videoconvert ! video/x-raw,format=BGRx,width=640,height=480,"
            "pixel-aspect-ratio=1/1 ! fakesink sync=true");
        state.counters["fps"] = frames / std::chrono::duration<double>(kRun).count();
        state.counters["ours_cpu_per_s"] = ours;
        state.counters["plain_cpu_per_s"] = plain;
        state.counters["ratio"] = ours / plain;
        state.counters["latency_p50_ms"] = latencies.percentileMs(0.5);
        state.counters["latency_p99_ms"] = latencies.percentileMs(0.99);
    }
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_H264File15fps)->Iterations(1)->Unit(benchmark::kSecond);
}  // namespace

BENCHMARK_MAIN();
