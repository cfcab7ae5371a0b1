// Each effect's cost on one 640 x 480 frame, beside a plain copy of that
// frame in the same run.

#include <benchmark/benchmark.h>
#include <time.h>

#include <QImage>
#include <QString>

#include <opencv2/imgproc.hpp>

#include <chrono>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "bench/bench_caption.h"
#include "bench/bench_components.h"
#include "effects/background_effect.h"
#include "effects/cam_streatch_effect.h"
#include "effects/gif_mixer_effect.h"
#include "effects/skin_color_effect.h"
#include "effects/text_mixer_effect.h"
#include "effects/video_effect_small_video.h"
#include "engine/effect_chain.h"
#include "engine/video_source.h"

namespace {
std::vector<uint8_t> picture() {
    std::vector<uint8_t> frame(VideoFrame::kSize32);
    for (size_t i = 0; i < frame.size(); ++i) {
        frame[i] = static_cast<uint8_t>(i * 2654435761u >> 13);
    }
    return frame;
}

void run(benchmark::State& state, VideoEffect& effect) {
    auto frame = picture();
    for (auto _ : state) {
        effect.Process(frame.data(), frame.size(), 640, 480);
        benchmark::ClobberMemory();
    }
}

std::wstring pendantPath() {
    return QString::fromUtf8(LUMORA_SOURCE_DIR "/skin/effect/挂件/爱心.gif").toStdWString();
}

// The caption the panel makes by default, over a 640 x 480 picture.
std::unique_ptr<TextMixerEffect> benchCaption() {
    return makeBenchCaption(640, 480, u"欢迎来到直播间 Lumora", 0x80000000, 0xFFFFFFFF, 22);
}

void BM_MemcpyOneFrame32(benchmark::State& state) {
    auto from = picture();
    std::vector<uint8_t> to(from.size());
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), from.size());
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_MemcpyOneFrame32);

void BM_BeautifyCurve(benchmark::State& state) {
    SkinColorEffect effect;
    effect.setPreset(0);
    run(state, effect);
}
BENCHMARK(BM_BeautifyCurve);

void BM_BeautifyCurveAndBlend(benchmark::State& state) {
    SkinColorEffect effect;
    effect.setPreset(2);
    run(state, effect);
}
BENCHMARK(BM_BeautifyCurveAndBlend);

void BM_BeautifyAdd(benchmark::State& state) {
    SkinColorEffect effect;
    effect.setPreset(5);
    run(state, effect);
}
BENCHMARK(BM_BeautifyAdd);

void BM_Pendant(benchmark::State& state) {
    GifMixerEffect effect(pendantPath());
    run(state, effect);
}
BENCHMARK(BM_Pendant);

void BM_Caption(benchmark::State& state) {
    auto caption = benchCaption();
    run(state, *caption);
}
BENCHMARK(BM_Caption);

void BM_Stretch(benchmark::State& state) {
    CamStreatchEffect effect(10);
    run(state, effect);
}
BENCHMARK(BM_Stretch);

void BM_Inset(benchmark::State& state) {
    StillSource second(VideoFrame::kWidth, VideoFrame::kHeight, SOURCE_TYPE_CAMERA);
    VideoEffectSmallVideo effect(&second);
    run(state, effect);
}
BENCHMARK(BM_Inset);

// What the graph's chain does with everything switched on: the costliest
// beautify preset (curve and blend), the pendant, the inset and the caption.
void BM_FullChain(benchmark::State& state) {
    SkinColorEffect beautify;
    beautify.setPreset(2);
    GifMixerEffect pendant(pendantPath());
    StillSource second(VideoFrame::kWidth, VideoFrame::kHeight, SOURCE_TYPE_CAMERA);
    VideoEffectSmallVideo inset(&second);
    auto caption = benchCaption();
    EffectChain chain;
    for (VideoEffect* effect :
         std::initializer_list<VideoEffect*>{&beautify, &pendant, &inset, caption.get()}) {
        chain.Add(effect);
    }
    auto frame = picture();
    for (auto _ : state) {
        chain.Apply(frame.data(), frame.size(), SOURCE_TYPE_CAMERA);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FullChain);

// The background effect on the footballer picture (the background effect's
// test picture), stretched to 640 x 480, bottom row first.
std::vector<uint8_t> personPicture() {
    const QImage image =
        QImage(QStringLiteral(LUMORA_SOURCE_DIR "/tests/tools/selfie_model/data/messi5.jpg"))
            .convertToFormat(QImage::Format_RGB32);
    std::vector<uint8_t> frame(VideoFrame::kSize32);
    const cv::Mat view(image.height(), image.width(), CV_8UC4, const_cast<uchar*>(image.bits()),
                       static_cast<size_t>(image.bytesPerLine()));
    cv::Mat target(480, 640, CV_8UC4, frame.data());
    cv::Mat resized;
    cv::resize(view, resized, target.size(), 0, 0, cv::INTER_AREA);
    cv::flip(resized, target, 0);
    return frame;
}

SegmentationModel generalModel() {
    return {LUMORA_SELFIE_MODEL_DIR "/selfie_segmentation.onnx", 256, 256};
}

// Process on the frame thread with a mask present: the worker runs beside
// it on its own thread (every other frame is offered), as in the graph.
void runBackground(benchmark::State& state, BackgroundEffect& effect) {
    const auto input = personPicture();
    auto frame = input;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (effect.lastMask().empty() && std::chrono::steady_clock::now() < deadline) {
        frame = input;
        effect.Process(frame.data(), frame.size(), 640, 480);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (effect.lastMask().empty()) {
        state.SkipWithError("no mask came");
        return;
    }
    for (auto _ : state) {
        effect.Process(frame.data(), frame.size(), 640, 480);
        benchmark::ClobberMemory();
    }
}

void BM_BackgroundBlur(benchmark::State& state) {
    BackgroundEffect effect(generalModel());
    effect.setMode(BackgroundMode::Blur);
    effect.setBlurStrength(BlurStrength::Strong);
    runBackground(state, effect);
}
BENCHMARK(BM_BackgroundBlur);

void BM_BackgroundPicture(benchmark::State& state) {
    BackgroundEffect effect(generalModel());
    cv::Mat picture(720, 1280, CV_8UC3);
    cv::randu(picture, 0, 255);
    effect.setPicture(picture);
    effect.setMode(BackgroundMode::Picture);
    runBackground(state, effect);
}
BENCHMARK(BM_BackgroundPicture);

void BM_BackgroundColour(benchmark::State& state) {
    BackgroundEffect effect(generalModel());
    effect.setColour(20, 120, 40);
    effect.setMode(BackgroundMode::Colour);
    runBackground(state, effect);
}
BENCHMARK(BM_BackgroundColour);

// The worker's step for one frame of 640 x 480 (a 320 x 240 picture): the
// network, the moving average and the guided filter's coefficients, timed
// by the worker itself on its thread; "cpu_ms" is the process's CPU time
// per step (the network's helper threads included). Arguments: the network
// (0 the square one, 1 the landscape one the program runs) and OpenCV's
// thread count.
double processCpuMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

void BM_SegmentationStep(benchmark::State& state) {
    const int threads = cv::getNumThreads();
    cv::setNumThreads(static_cast<int>(state.range(1)));
    SegmentationWorker worker;
    std::string problem;
    SegmentationModel model =
        state.range(0) == 0
            ? generalModel()
            : SegmentationModel{LUMORA_SELFIE_MODEL_DIR "/selfie_segmentation_landscape.onnx", 256,
                                144};
    if (!worker.start(model, &problem)) {
        state.SkipWithError(problem.c_str());
        return;
    }
    const auto frame = personPicture();
    const cv::Mat full(480, 640, CV_8UC4, const_cast<uint8_t*>(frame.data()));
    cv::Mat half;
    cv::resize(full, half, cv::Size(320, 240), 0, 0, cv::INTER_AREA);
    SegmentationMask mask;
    double cpu = 0;
    for (auto _ : state) {
        const uint64_t published = worker.published();
        const double before = processCpuMilliseconds();
        while (!worker.offer(half)) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        while (worker.published() == published) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        cpu += processCpuMilliseconds() - before;
        worker.takeNewest(&mask);
        state.SetIterationTime(worker.lastStepMilliseconds() / 1000.0);
    }
    state.counters["cpu_ms"] = cpu / static_cast<double>(state.iterations());
    cv::setNumThreads(threads);
}
BENCHMARK(BM_SegmentationStep)
    ->ArgsProduct({{0, 1}, {1, 2}})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
}  // namespace
