// How long the slideshow takes to show a 24-megapixel JPEG and how much
// memory that costs at its peak.

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <QString>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "base/simply_callback.h"
#include "libs/slideshow/pic_engine.h"

namespace {
class FirstFrame : public ISimplyCallBack {
public:
    void OnSimplyCallBack(int, unsigned char*, long) override { arrived = true; }
    std::atomic<bool> arrived{false};
};

long peakResidentKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

void BM_Show24MegapixelJpeg(benchmark::State& state) {
    std::string file = (std::filesystem::temp_directory_path() / "lumora-bench-24mp.jpg").string();
    std::string make =
        "ffmpeg -v error -y -f lavfi -i testsrc2=s=6000x4000 -frames:v 1 '" + file + "'";
    if (std::system(make.c_str()) != 0) {
        state.SkipWithError("ffmpeg could not make the picture");
        return;
    }
    std::wstring path = QString::fromStdString(file).toStdWString();
    for (auto _ : state) {
        long before = peakResidentKilobytes();
        FirstFrame receiver;
        PicEngine engine;
        engine.Init(640, 480, &receiver);
        engine.SetShowTime(60000);
        engine.AddFile(path.c_str());
        auto started = std::chrono::steady_clock::now();
        engine.Start();
        while (!receiver.arrived) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started)
                .count();
        engine.Stop();
        state.counters["first_frame_ms"] = ms;
        state.counters["peak_extra_mb"] = (peakResidentKilobytes() - before) / 1024.0;
    }
    std::filesystem::remove(file);
}
BENCHMARK(BM_Show24MegapixelJpeg)->Iterations(1)->Unit(benchmark::kMillisecond);
}  // namespace
