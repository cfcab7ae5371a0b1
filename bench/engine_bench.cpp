// The engine's speed, pacing, allocation and CPU figures. Each benchmark puts
// its figures into counters; the plain memcpy and the bare timer loop run in
// the same program, so ratios compare like with like on this machine.

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

#include "bench/alloc_counter.h"
#include "bench/bench_components.h"
#include "engine/frame_workspace.h"
#include "engine/play_graph.h"

namespace {
using Clock = std::chrono::steady_clock;
using TimePoint = Clock::time_point;

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// A graph with the placeholder, two no-op effects and three outputs.
struct LoadedGraph {
    PlayGraph* graph = PlayGraph::Create(15);
    StillSource placeholder;
    NoOpEffect effects[2];
    VideoOutput outputs[3];

    LoadedGraph() {
        graph->SetPlaceholderSource(&placeholder);
        for (auto& effect : effects) {
            graph->AddEffect(&effect);
        }
        for (auto& output : outputs) {
            graph->AddOutput(&output);
        }
    }
    ~LoadedGraph() { PlayGraph::Destroy(&graph); }
};

void BM_MemcpyOneFrame32(benchmark::State& state) {
    std::vector<uint8_t> from(VideoFrame::kSize32, 7), to(VideoFrame::kSize32);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), from.size());
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * VideoFrame::kSize32);
}
BENCHMARK(BM_MemcpyOneFrame32);

void BM_ComposeTick(benchmark::State& state) {
    LoadedGraph loaded;
    FrameWorkspace workspace;
    for (auto _ : state) {
        loaded.graph->ComposeTick(workspace);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ComposeTick);

void BM_AllocationsPerTick(benchmark::State& state) {
    LoadedGraph loaded;
    loaded.graph->SetFrameRate(200);
    TimestampOutput counter(0);
    loaded.graph->AddOutput(&counter);
    for (auto _ : state) {
        loaded.graph->Start();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));  // steady state
        size_t ticksBefore = counter.count();
        alloc_counter::start();
        std::this_thread::sleep_for(std::chrono::seconds(2));
        uint64_t allocations = alloc_counter::stop();
        size_t ticks = counter.count() - ticksBefore;
        loaded.graph->Stop();
        state.counters["ticks"] = static_cast<double>(ticks);
        state.counters["allocations"] = static_cast<double>(allocations);
        state.counters["allocs_per_tick"] = ticks ? double(allocations) / double(ticks) : -1;
    }
    loaded.graph->RemoveOutput(&counter);
}
BENCHMARK(BM_AllocationsPerTick)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_CpuWithPlaceholderOnly(benchmark::State& state) {
    PlayGraph* graph = PlayGraph::Create(15);
    StillSource placeholder;
    graph->SetPlaceholderSource(&placeholder);
    for (auto _ : state) {
        graph->Start();
        std::this_thread::sleep_for(std::chrono::seconds(1));
        double cpuBefore = cpuSeconds();
        TimePoint wallBefore = Clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(10));
        double cpu = cpuSeconds() - cpuBefore;
        double wall = std::chrono::duration<double>(Clock::now() - wallBefore).count();
        graph->Stop();
        state.counters["cpu_percent_of_core"] = 100.0 * cpu / wall;
    }
    PlayGraph::Destroy(&graph);
}
BENCHMARK(BM_CpuWithPlaceholderOnly)->Iterations(1)->Unit(benchmark::kMillisecond);

// Wakes on a one-shot timerfd re-armed relative to now at each wake-up, as
// the graph's worker does, and notes the wake-up times.
std::vector<TimePoint> bareTimerLoop(int fps, std::chrono::seconds duration) {
    int timer = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC);
    long periodNs = (10'000'000 / fps) * 100L;
    std::vector<TimePoint> stamps;
    stamps.reserve(static_cast<size_t>(fps * duration.count() + 16));
    itimerspec first{};
    first.it_value.tv_nsec = 100;
    timerfd_settime(timer, 0, &first, nullptr);
    TimePoint end = Clock::now() + duration;
    while (Clock::now() < end) {
        uint64_t expirations;
        if (read(timer, &expirations, sizeof expirations) < 0) {
            break;
        }
        itimerspec next{};
        next.it_value.tv_sec = periodNs / 1'000'000'000;
        next.it_value.tv_nsec = periodNs % 1'000'000'000;
        timerfd_settime(timer, 0, &next, nullptr);
        stamps.push_back(Clock::now());
    }
    close(timer);
    return stamps;
}

std::vector<double> periodsMs(const std::vector<TimePoint>& stamps) {
    std::vector<double> periods;
    for (size_t i = 2; i < stamps.size(); ++i) {  // the first tick comes at once
        periods.push_back(
            std::chrono::duration<double, std::milli>(stamps[i] - stamps[i - 1]).count());
    }
    return periods;
}

double mean(const std::vector<double>& values) {
    double sum = 0;
    for (double v : values) {
        sum += v;
    }
    return values.empty() ? 0 : sum / double(values.size());
}

double p99Deviation(const std::vector<double>& periods, double reference) {
    std::vector<double> deviations;
    for (double p : periods) {
        deviations.push_back(std::fabs(p - reference));
    }
    std::sort(deviations.begin(), deviations.end());
    return deviations.empty() ? 0 : deviations[deviations.size() * 99 / 100];
}

void BM_Pacing(benchmark::State& state) {
    int fps = static_cast<int>(state.range(0));
    auto duration = std::chrono::seconds(20);
    for (auto _ : state) {
        LoadedGraph loaded;
        loaded.graph->SetFrameRate(fps);
        TimestampOutput stamps(static_cast<size_t>(fps * duration.count() + 64));
        loaded.graph->AddOutput(&stamps);
        loaded.graph->Start();
        std::this_thread::sleep_for(duration);
        loaded.graph->Stop();
        loaded.graph->RemoveOutput(&stamps);
        auto graphPeriods = periodsMs(stamps.stamps());
        auto barePeriods = periodsMs(bareTimerLoop(fps, duration));

        double graphMean = mean(graphPeriods), bareMean = mean(barePeriods);
        state.counters["nominal_ms"] = 1000.0 / fps;
        state.counters["graph_mean_ms"] = graphMean;
        state.counters["bare_mean_ms"] = bareMean;
        state.counters["mean_diff_pct"] = 100.0 * (graphMean - bareMean) / bareMean;
        state.counters["graph_p99_dev_ms"] = p99Deviation(graphPeriods, bareMean);
        state.counters["bare_p99_dev_ms"] = p99Deviation(barePeriods, bareMean);
    }
}
BENCHMARK(BM_Pacing)->Arg(15)->Arg(30)->Iterations(1)->Unit(benchmark::kSecond);
}  // namespace

BENCHMARK_MAIN();
