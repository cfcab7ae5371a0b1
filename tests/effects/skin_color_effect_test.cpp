#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <cmath>
#include <memory>

#include "effects/skin_color_effect.h"
#include "effects/skin_color_pass.h"
#include "effects/skin_curve_avx2.h"
#include "engine/play_graph.h"
#include "tests/support/test_components.h"
#include "tests/support/test_frames.h"

namespace {
// A frame of varied pixels: every channel value occurs, in many combinations,
// and the fourth byte is not 255.
std::vector<uint8_t> variedFrame() {
    std::vector<uint8_t> frame(VideoFrame::kSize32);
    uint32_t state = 12345;
    for (size_t i = 0; i < frame.size(); ++i) {
        state = state * 1103515245u + 12345u;
        frame[i] = static_cast<uint8_t>(state >> 16);
    }
    return frame;
}

// The beautify steps written out from OpenCV's 8-bit definitions, pixel by
// pixel, with nothing shared with the effect's own code.
int descale(int value) { return (value + (1 << 13)) >> 14; }
uint8_t saturate(int value) { return static_cast<uint8_t>(std::clamp(value, 0, 255)); }

std::vector<uint8_t> referenceBeautify(std::vector<uint8_t> frame, int preset) {
    const SkinColorParam p = skinColorPreset(preset);
    uint8_t curve[256];
    if (p.gamma > 0) {
        float e = 1.0f / p.gamma;
        for (int i = 0; i < 256; ++i) {
            float v = std::pow(i * (1.0f / 256.0f), e) * 256.0f;
            curve[i] = static_cast<uint8_t>(std::clamp(v, 0.0f, 255.0f));
        }
    }
    for (size_t i = 0; i < frame.size(); i += 4) {
        uint8_t* px = &frame[i];
        if (p.gamma > 0) {
            int b = px[0], g = px[1], r = px[2];
            int y = saturate(descale(b * 1868 + g * 9617 + r * 4899));
            int u = saturate(descale((b - y) * 8061 + (128 << 14)));
            int v = saturate(descale((r - y) * 14369 + (128 << 14)));
            y = curve[y];
            px[0] = saturate(y + descale((u - 128) * 33292));
            px[1] = saturate(y + descale((u - 128) * -6472 + (v - 128) * -9519));
            px[2] = saturate(y + descale((v - 128) * 18678));
            px[3] = 255;
        }
        const int colour[4] = {p.blue, p.green, p.red, 0};
        for (int c = 0; c < 4; ++c) {
            if (p.blendMode == 0) {
                px[c] = saturate(px[c] + colour[c]);
            } else if (p.blendMode == 2) {
                float value = px[c] * p.pictureWeight + colour[c] * p.colourWeight;
                px[c] = saturate(static_cast<int>(std::lrint(value)));
            }
        }
    }
    return frame;
}

// The same steps through OpenCV itself, as the effect was first described.
std::vector<uint8_t> openCvBeautify(std::vector<uint8_t> frame, int preset) {
    const SkinColorParam p = skinColorPreset(preset);
    cv::Mat image(480, 640, CV_8UC4, frame.data());
    if (p.gamma > 0) {
        uint8_t curve[256];
        buildSkinCurve(p.gamma, curve);
        cv::Mat scratch;
        cv::cvtColor(image, scratch, cv::COLOR_BGRA2BGR);
        cv::cvtColor(scratch, scratch, cv::COLOR_BGR2YUV);
        for (int i = 0; i < 640 * 480; ++i) {
            scratch.data[i * 3] = curve[scratch.data[i * 3]];
        }
        cv::cvtColor(scratch, scratch, cv::COLOR_YUV2BGR);
        cv::cvtColor(scratch, image, cv::COLOR_BGR2BGRA);
    }
    cv::Mat layer(480, 640, CV_8UC4, cv::Scalar(p.blue, p.green, p.red, 0));
    if (p.blendMode == 0) {
        cv::add(image, layer, image);
    } else if (p.blendMode == 2) {
        cv::addWeighted(image, p.pictureWeight, layer, p.colourWeight, 0, image);
    }
    return frame;
}

std::vector<uint8_t> beautify(const std::vector<uint8_t>& input, int preset) {
    SkinColorEffect effect;
    effect.setPreset(preset);
    std::vector<uint8_t> frame = input;
    effect.Process(frame.data(), frame.size(), 640, 480);
    return frame;
}
}  // namespace

TEST(SkinColorEffectTest, CurveTablesMatchTheWorkedExamples) {
    const int at[] = {0, 1, 16, 32, 64, 128, 192, 255};
    const std::pair<float, std::vector<int>> examples[] = {
        {1.95f, {0, 14, 61, 88, 125, 179, 220, 255}},
        {2.4f, {0, 25, 80, 107, 143, 191, 227, 255}},
        {1.45f, {0, 5, 37, 61, 98, 158, 209, 255}},
    };
    for (const auto& [gamma, expected] : examples) {
        uint8_t table[256];
        buildSkinCurve(gamma, table);
        for (size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(table[at[i]], expected[i]) << "gamma " << gamma << " entry " << at[i];
        }
    }
}

TEST(SkinColorEffectTest, EveryPresetGivesTheReferenceBytesExactly) {
    const auto input = variedFrame();
    for (int preset = 0; preset <= 10; ++preset) {
        auto ours = beautify(input, preset);
        ASSERT_EQ(ours, referenceBeautify(input, preset)) << "preset " << preset;
        ASSERT_EQ(ours, openCvBeautify(input, preset)) << "preset " << preset << " vs OpenCV";
    }
    EXPECT_EQ(beautify(input, 10), input) << "an unknown preset changes nothing";
    EXPECT_EQ(beautify(input, -1), input);
}

TEST(SkinColorEffectTest, BothCurvePassesMatchOpenCvOnEveryColour) {
    // Every 24-bit colour once, with a fourth byte that is not 255.
    cv::Mat all(4096, 4096, CV_8UC4);
    auto* pixels = reinterpret_cast<uint32_t*>(all.data);
    for (uint32_t i = 0; i < 4096u * 4096u; ++i) {
        pixels[i] = i | 0x5A000000u;
    }
    uint8_t table[256];
    buildSkinCurve(2.4f, table);
    int32_t curve[256];
    std::copy(table, table + 256, curve);

    cv::Mat scratch, expected;
    cv::cvtColor(all, scratch, cv::COLOR_BGRA2BGR);
    cv::cvtColor(scratch, scratch, cv::COLOR_BGR2YUV);
    for (int i = 0; i < 4096 * 4096; ++i) {
        scratch.data[i * 3] = table[scratch.data[i * 3]];
    }
    cv::cvtColor(scratch, scratch, cv::COLOR_YUV2BGR);
    cv::cvtColor(scratch, expected, cv::COLOR_BGR2BGRA);

    cv::Mat portable = all.clone();
    applySkinCurvePortable(reinterpret_cast<uint32_t*>(portable.data), 4096u * 4096u - 3, curve);
    EXPECT_EQ(cv::norm(portable.reshape(1, 1).colRange(0, (4096 * 4096 - 3) * 4),
                       expected.reshape(1, 1).colRange(0, (4096 * 4096 - 3) * 4), cv::NORM_INF),
              0);
    if (__builtin_cpu_supports("avx2")) {
        cv::Mat vectorised = all.clone();
        // An odd count also runs the padded tail.
        applySkinCurveAvx2(reinterpret_cast<uint32_t*>(vectorised.data), 4096u * 4096u - 3, curve);
        EXPECT_EQ(cv::norm(vectorised.reshape(1, 1).colRange(0, (4096 * 4096 - 3) * 4),
                           expected.reshape(1, 1).colRange(0, (4096 * 4096 - 3) * 4), cv::NORM_INF),
                  0);
        EXPECT_EQ(vectorised.at<uint32_t>(4095, 4095), all.at<uint32_t>(4095, 4095))
            << "pixels past the count stay";

        // Curve and blend in one pass against OpenCV's curve and weighted blend.
        cv::Mat layer(4096, 4096, CV_8UC4, cv::Scalar(164, 181, 255, 0));
        cv::Mat blendedExpected;
        cv::addWeighted(expected, 0.96f, layer, 0.28f, 0, blendedExpected);
        cv::Mat fused = all.clone();
        applySkinCurveAndBlend(reinterpret_cast<uint32_t*>(fused.data), 4096u * 4096u, curve, 164,
                               181, 255, 0.96f, 0.28f);
        EXPECT_EQ(cv::norm(fused, blendedExpected, cv::NORM_INF), 0);
        cv::Mat twoPasses = all.clone();
        auto* pixels2 = reinterpret_cast<uint32_t*>(twoPasses.data);
        applySkinCurvePortable(pixels2, 4096u * 4096u, curve);
        blendSkinColour(pixels2, 4096u * 4096u, 164, 181, 255, 0.96f, 0.28f);
        EXPECT_EQ(cv::norm(twoPasses, blendedExpected, cv::NORM_INF), 0) << "the portable way";
    }
}

TEST(SkinColorEffectTest, WhatEachKindOfPresetDoesToAPixel) {
    auto frame = makeSolidFrame32(200, 100, 30);  // fourth byte 0xEE
    auto curved = beautify(frame, 0);
    EXPECT_EQ(curved[3], 255) << "after a curve the fourth byte is 255";
    EXPECT_GT(curved[0] + curved[1] + curved[2], 200 + 100 + 30) << "the curve brightens";

    auto brighter = beautify(frame, 5);
    EXPECT_EQ(brighter[0], 255) << "200 + 55 saturates";
    EXPECT_EQ(brighter[1], 155);
    EXPECT_EQ(brighter[2], 85);
    EXPECT_EQ(brighter[3], 0xEE) << "the add leaves the fourth byte alone";

    auto blended = beautify(frame, 2);
    EXPECT_EQ(blended[3], 245) << "0.96 x 255 after the curve";

    SkinColorEffect untouched;
    std::vector<uint8_t> copy = frame;
    untouched.Process(copy.data(), copy.size(), 640, 480);
    EXPECT_EQ(copy, frame) << "without a setting nothing happens";
}

TEST(SkinColorEffectTest, TheGraphBeautifiesCameraPicturesOnly) {
    auto graph = std::unique_ptr<PlayGraph, void (*)(PlayGraph*)>(
        PlayGraph::Create(60), [](PlayGraph* g) { PlayGraph::Destroy(&g); });
    SkinColorEffect effect;
    effect.setPreset(5);
    graph->AddEffect(&effect);
    RecordingOutput output;
    graph->AddOutput(&output);
    auto picture = makeSolidFrame32(10, 20, 30);
    ManualSource placeholder, file(SOURCE_TYPE_VIDEO_FILE), slideshow(SOURCE_TYPE_PICTURE),
        camera(SOURCE_TYPE_CAMERA);
    for (ManualSource* source : {&placeholder, &file, &slideshow, &camera}) {
        source->PushFrame(picture.data(), picture.size());
    }
    graph->SetPlaceholderSource(&placeholder);
    graph->Start();
    auto blueNow = [&] {
        output.clear();
        EXPECT_TRUE(output.waitForFrames(2));
        return output.last32()[0];
    };
    EXPECT_EQ(blueNow(), 10) << "placeholder";
    graph->SelectSource(&file, true);
    EXPECT_EQ(blueNow(), 10) << "video file";
    graph->SelectSource(&slideshow, true);
    EXPECT_EQ(blueNow(), 10) << "slideshow";
    graph->SelectSource(&camera, true);
    EXPECT_EQ(blueNow(), 65) << "camera";
    graph->Stop();
    graph->RemoveEffect(&effect);
    graph->RemoveOutput(&output);
}
