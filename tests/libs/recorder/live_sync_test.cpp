#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "libs/recorder/live_encoder.h"
#include "libs/recorder/live_stream.h"
#include "tests/support/flash_and_click.h"
#include "tests/support/media_probe.h"
#include "tests/support/rtmp_server.h"

// A live stream's picture and sound kept together, judged by what they show
// (see flash_and_click.h): in the stream the server recorded, each white
// picture and its click must be within 40 ms of each other and together on
// the whole, and the two tracks must begin together.

namespace {
const std::string kKey = "syncKey5";
constexpr int kSampleRate = 48000, kChannels = 2, kBlockFrames = 1024;
constexpr double kMostApart = 0.040;
// The grid of the frame rate moves the white pictures by up to half a
// picture's time each, by a 16th of it on the whole.
constexpr double kMostOnTheWhole = 0.010;
}  // namespace

TEST(LiveSync, AWhitePictureAndAClickOfTheSameMomentReachTheServerWithin40msOfEachOther) {
    RtmpServer server(kKey);
    std::string problem;
    ASSERT_TRUE(server.start(&problem)) << problem;
    const FlashPlan plan;
    LiveSettings settings;
    settings.width = plan.width;
    settings.height = plan.height;
    settings.frameRate = plan.frameRate;
    settings.sampleRate = kSampleRate;
    settings.channels = kChannels;
    settings.soundBlock = kBlockFrames * kChannels * 2;
    auto encoder = std::make_shared<LiveEncoder>();
    ASSERT_TRUE(encoder->start(settings, &problem)) << problem;
    const auto grid = std::chrono::steady_clock::now();
    ClickingMicrophone microphone(
        [&](const uint8_t* data, int bytes) { encoder->pushSound(data, bytes); }, kSampleRate,
        kChannels, kBlockFrames);
    microphone.start(grid);
    LiveStream stream;
    ASSERT_TRUE(stream.start(server.address(), kKey, encoder, nullptr));

    const std::vector<bool> onTime = handFlashes(
        plan, grid, microphone, [&] { return stream.state() == LiveState::Live; },
        [&](const uint8_t* picture, size_t size) { encoder->handPicture(picture, size); },
        &problem);
    stream.stop();
    microphone.stop();
    encoder->finish();
    ASSERT_TRUE(server.stop());
    ASSERT_FALSE(onTime.empty()) << problem;

    const std::string recording = server.recordingOf(kKey);
    const std::vector<double> pictures = packetTimes(recording, "v");
    const std::vector<double> sound = packetTimes(recording, "a");
    ASSERT_FALSE(pictures.empty()) << recording;
    ASSERT_FALSE(sound.empty()) << recording;
    std::printf("first picture at %.3f s, first sound at %.3f s\n", pictures.front(),
                sound.front());
    EXPECT_LE(std::abs(sound.front() - pictures.front()), kMostApart)
        << "the tracks begin apart: picture at " << pictures.front() << " s, sound at "
        << sound.front() << " s";

    const std::vector<double> offsets = clickOffsets(recording, onTime, &problem);
    ASSERT_EQ(offsets.size(), onTime.size()) << problem;
    double sum = 0;
    for (size_t i = 0; i < offsets.size(); ++i) {
        if (onTime[i]) {
            EXPECT_LE(std::abs(offsets[i]), kMostApart) << "white picture " << i;
            sum += offsets[i];
        }
    }
    // Moved by the grid as far one way as the other, the pictures are with
    // their clicks on the whole: the sound is not behind or ahead.
    const double mean = sum / plan.events;
    std::printf("the clicks come %+.1f ms after their pictures on the whole\n", mean * 1000);
    EXPECT_LE(std::abs(mean), kMostOnTheWhole) << "the sound is " << mean * 1000 << " ms behind";
}
