// Each effect's cost on one 640 x 480 frame, beside a plain copy of that
// frame in the same run.

#include <benchmark/benchmark.h>

#include <QString>

#include <cstring>
#include <memory>
#include <vector>

#include "bench/bench_caption.h"
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

class StillCamera : public VideoSource {
public:
    StillCamera() {
        auto frame = picture();
        PushFrame(frame.data(), frame.size());
        typeId_ = SOURCE_TYPE_CAMERA;
    }
    int32_t Start() override { return 0; }
    void Stop() override {}
    bool IsRunning() override { return true; }
};

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
    StillCamera second;
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
    StillCamera second;
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
}  // namespace
