#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "libs/recorder/encoded_recording.h"
#include "libs/recorder/live_encoder.h"
#include "libs/recorder/recorder_helper.h"
#include "tests/libs/recorder/flash_live_settings.h"
#include "tests/support/flash_and_click.h"
#include "tests/support/media_probe.h"
#include "tests/support/test_media.h"

// A recording's picture and sound kept together, judged by what they show
// (see flash_and_click.h): in the file, each white picture and its click
// must be within 40 ms of each other and together on the whole, whether the
// recording encodes on its own or shares a live stream's encoders.

namespace {
constexpr int kChannels = kFlashChannels, kBlockFrames = kFlashBlockFrames;
constexpr double kMostApart = 0.040;
// The grid of the frame rate moves the white pictures by up to half a
// picture's time each, by a 16th of it on the whole.
constexpr double kMostOnTheWhole = 0.010;

void expectClicksWithTheirPictures(const std::string& file, const std::vector<bool>& onTime,
                                   int events) {
    std::string problem;
    const std::vector<double> offsets = clickOffsets(file, onTime, &problem);
    ASSERT_EQ(offsets.size(), onTime.size()) << problem;
    double sum = 0;
    for (size_t i = 0; i < offsets.size(); ++i) {
        if (onTime[i]) {
            EXPECT_LE(std::abs(offsets[i]), kMostApart) << "white picture " << i;
            sum += offsets[i];
        }
    }
    const double mean = sum / events;
    std::printf("the clicks come %+.1f ms after their pictures on the whole\n", mean * 1000);
    EXPECT_LE(std::abs(mean), kMostOnTheWhole) << "the sound is " << mean * 1000 << " ms behind";
}
}  // namespace

// As the recording output sets its own encoders up: 44.1 kHz stereo from
// the microphone, in blocks of 1,024 samples.
TEST(RecorderSync, AWhitePictureAndAClickOfTheSameMomentAreWithin40msOfEachOtherInTheFile) {
    ScratchDir dir;
    const std::string file = dir.file("sync.flv");
    const FlashPlan plan;
    constexpr int kSampleRate = 44100;
    RecorderHelper recorder;
    const int sound =
        recorder.AddAudioChannelPcm(kBlockFrames * kChannels * 2, kSampleRate, kChannels, 16);
    const int picture = recorder.AddVideoChannelRgb24(plan.width, plan.height, plan.frameRate);
    ASSERT_GE(sound, 0);
    ASSERT_GE(picture, 0);
    const std::wstring widePath(file.begin(), file.end());
    ASSERT_TRUE(recorder.InitChannels(widePath.c_str()));
    const auto grid = std::chrono::steady_clock::now();
    ClickingMicrophone microphone(
        [&](const uint8_t* data, int bytes) {
            recorder.InputChannelData(sound, reinterpret_cast<const char*>(data), bytes);
        },
        kSampleRate, kChannels, kBlockFrames);
    microphone.start(grid);
    std::string problem;
    const std::vector<bool> onTime = handFlashes(
        plan, grid, microphone, [] { return true; },
        [&](const uint8_t* data, size_t size) {
            recorder.InputChannelData(picture, reinterpret_cast<const char*>(data),
                                      static_cast<int>(size));
        },
        &problem);
    microphone.stop();
    recorder.Stop();
    ASSERT_FALSE(onTime.empty()) << problem;
    const std::vector<double> pictures = packetTimes(file, "v");
    const std::vector<double> sounds = packetTimes(file, "a");
    ASSERT_FALSE(pictures.empty());
    ASSERT_FALSE(sounds.empty());
    std::printf("first picture at %.3f s, first sound at %.3f s\n", pictures.front(),
                sounds.front());
    expectClicksWithTheirPictures(file, onTime, plan.events);
}

// A recording beside a live stream muxes the stream's own encode, whose
// sound the stream's feeds already time for the encoder's delay: the same
// clicks come with their pictures there too, not that delay early.
TEST(RecorderSync, BesideALiveStreamTheClicksAreWithTheirPicturesToo) {
    ScratchDir dir;
    const std::string file = dir.file("beside.flv");
    const FlashPlan plan;
    constexpr int kSampleRate = kFlashSampleRate;
    const LiveSettings settings = flashLiveSettings(plan);
    auto encoder = std::make_shared<LiveEncoder>();
    std::string problem;
    ASSERT_TRUE(encoder->start(settings, &problem)) << problem;
    EncodedRecording recording;
    ASSERT_TRUE(recording.open(file, true));
    const auto grid = std::chrono::steady_clock::now();
    ClickingMicrophone microphone(
        [&](const uint8_t* data, int bytes) { encoder->pushSound(data, bytes); }, kSampleRate,
        kChannels, kBlockFrames);
    microphone.start(grid);
    recording.start(encoder);
    const std::vector<bool> onTime = handFlashes(
        plan, grid, microphone, [] { return true; },
        [&](const uint8_t* data, size_t size) { encoder->handPicture(data, size); }, &problem);
    microphone.stop();
    recording.stop();
    encoder->finish();
    ASSERT_FALSE(onTime.empty()) << problem;
    expectClicksWithTheirPictures(file, onTime, plan.events);
}
