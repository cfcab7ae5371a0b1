// The virtual camera channel's per-frame costs, beside a plain copy of the
// same 921,600 bytes in the same run.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "base/video_frame.h"
#include "channel/vcam_reader.h"
#include "channel/virtual_camera_server.h"

namespace {
// A private runtime folder, so the benchmark never meets a running Lumora.
struct PrivateRuntimeDir {
    std::string path;
    PrivateRuntimeDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "lumora-bench-XXXXXX");
        path = mkdtemp(pattern.data());
        setenv("XDG_RUNTIME_DIR", path.c_str(), 1);
    }
    ~PrivateRuntimeDir() { std::filesystem::remove_all(path); }
};

void BM_MemcpyOneFrame24(benchmark::State& state) {
    std::vector<uint8_t> from(VideoFrame::kSize24, 3), to(VideoFrame::kSize24);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), from.size());
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * VideoFrame::kSize24);
}
BENCHMARK(BM_MemcpyOneFrame24);

void BM_WriteFrame(benchmark::State& state) {
    PrivateRuntimeDir runtime;
    VirtualCameraServer server;
    if (!server.start(VideoFrame::kWidth, VideoFrame::kHeight)) {
        state.SkipWithError("the channel could not start");
        return;
    }
    std::vector<uint8_t> frame(VideoFrame::kSize24, 5);
    for (auto _ : state) {
        server.writeFrame(frame.data(), frame.size());
    }
    state.SetBytesProcessed(state.iterations() * VideoFrame::kSize24);
}
BENCHMARK(BM_WriteFrame);

// poll, acquireFrame and release alone; and with the copy a reader makes.
void readerRounds(benchmark::State& state, bool copyOut) {
    PrivateRuntimeDir runtime;
    VirtualCameraServer server;
    if (!server.start(VideoFrame::kWidth, VideoFrame::kHeight)) {
        state.SkipWithError("the channel could not start");
        return;
    }
    std::vector<uint8_t> frame(VideoFrame::kSize24, 5), copy(VideoFrame::kSize24);
    VCamReader reader;
    for (auto _ : state) {
        // A fresh frame each round keeps the reader from closing after 50 repeats.
        state.PauseTiming();
        server.writeFrame(frame.data(), frame.size());
        state.ResumeTiming();
        reader.poll();
        int width, height;
        uint32_t size;
        const uint8_t* data = reader.acquireFrame(&width, &height, &size);
        if (copyOut && data != nullptr) {
            std::memcpy(copy.data(), data, size);
        }
        benchmark::DoNotOptimize(data);
        reader.release();
    }
}

void BM_ReaderPollAcquireRelease(benchmark::State& state) { readerRounds(state, false); }
BENCHMARK(BM_ReaderPollAcquireRelease);

void BM_ReaderRoundWithCopy(benchmark::State& state) { readerRounds(state, true); }
BENCHMARK(BM_ReaderRoundWithCopy);
}  // namespace

BENCHMARK_MAIN();
