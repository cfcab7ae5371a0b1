#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "libs/recorder/live_encoder.h"
#include "libs/recorder/live_stream.h"
#include "tests/libs/recorder/flash_live_settings.h"
#include "tests/support/flash_and_click.h"
#include "tests/support/media_probe.h"
#include "tests/support/rtmp_server.h"

// A live stream's picture and sound kept together, judged by what they show
// (see flash_and_click.h): in the stream the server recorded, each white
// picture and its click must be within 40 ms of each other and together on
// the whole, and the two tracks must begin together.

namespace {
const std::string kKey = "syncKey5";
constexpr int kSampleRate = kFlashSampleRate, kChannels = kFlashChannels,
              kBlockFrames = kFlashBlockFrames;
constexpr double kMostApart = 0.040;
// The grid of the frame rate moves the white pictures by up to half a
// picture's time each, by a 16th of it on the whole.
constexpr double kMostOnTheWhole = 0.010;
// What a stream that could not be judged says first.
const std::string kTooBusy = "not judged: ";

// One stream with its white pictures and clicks; what was wrong with it
// ("" when nothing). A set-up failure is a test failure at once.
std::string syncFaultOfOneStream() {
    RtmpServer server(kKey);
    std::string problem;
    EXPECT_TRUE(server.start(&problem)) << problem;
    if (!problem.empty()) {
        return "no server: " + problem;
    }
    const FlashPlan plan;
    const LiveSettings settings = flashLiveSettings(plan);
    auto encoder = std::make_shared<LiveEncoder>();
    if (!encoder->start(settings, &problem)) {
        ADD_FAILURE() << problem;
        return "no encoder: " + problem;
    }
    const auto grid = std::chrono::steady_clock::now();
    ClickingMicrophone microphone(
        [&](const uint8_t* data, int bytes) { encoder->pushSound(data, bytes); }, kSampleRate,
        kChannels, kBlockFrames);
    microphone.start(grid);
    LiveStream stream;
    if (!stream.start(server.address(), kKey, encoder, nullptr)) {
        ADD_FAILURE() << "the stream did not start";
        return "no stream";
    }

    const std::vector<bool> onTime = handFlashes(
        plan, grid, microphone, [&] { return stream.state() == LiveState::Live; },
        [&](const uint8_t* picture, size_t size) { encoder->handPicture(picture, size); },
        &problem);
    stream.stop();
    microphone.stop();
    encoder->finish();
    if (!server.stop()) {
        return "the server did not end its recording";
    }
    if (onTime.empty()) {
        return kTooBusy + problem;
    }

    const std::string recording = server.recordingOf(kKey);
    const std::vector<double> pictures = packetTimes(recording, "v");
    const std::vector<double> sound = packetTimes(recording, "a");
    if (pictures.empty() || sound.empty()) {
        return "the server holds no picture or no sound: " + recording;
    }
    std::printf("first picture at %.3f s, first sound at %.3f s\n", pictures.front(),
                sound.front());
    if (std::abs(sound.front() - pictures.front()) > kMostApart) {
        return "the tracks begin apart: picture at " + std::to_string(pictures.front()) +
               " s, sound at " + std::to_string(sound.front()) + " s";
    }

    const std::vector<double> offsets = clickOffsets(recording, onTime, &problem);
    if (offsets.size() != onTime.size()) {
        return "not every white picture and click read back: " + problem;
    }
    double sum = 0;
    int judged = 0;
    for (size_t i = 0; i < offsets.size(); ++i) {
        if (onTime[i]) {
            if (std::abs(offsets[i]) > kMostApart) {
                return "white picture " + std::to_string(i) + ": its click " +
                       std::to_string(offsets[i] * 1000) + " ms after it";
            }
            sum += offsets[i];
            ++judged;
        }
    }
    // Moved by the grid as far one way as the other, the pictures are with
    // their clicks on the whole: the sound is not behind or ahead.
    const double mean = sum / judged;
    std::printf("the clicks come %+.1f ms after their pictures on the whole\n", mean * 1000);
    if (std::abs(mean) > kMostOnTheWhole) {
        return "the sound is " + std::to_string(mean * 1000) + " ms behind on the whole";
    }
    return "";
}
}  // namespace

// The test stands in for the graph and the microphone with threads of its
// own; a loaded machine can hold one of them back in ways it does not see
// (a block of sound handed late behind the encoder's back). So a stream
// that shows a fault is made again, three at most: a program whose sound
// is out of step shows it in every stream.
TEST(LiveSync, AWhitePictureAndAClickOfTheSameMomentReachTheServerWithin40msOfEachOther) {
    std::string fault;
    bool judged = false;
    for (int attempt = 0; attempt < 3; ++attempt) {
        fault = syncFaultOfOneStream();
        judged = judged || fault.rfind(kTooBusy, 0) != 0;
        if (fault.empty() || ::testing::Test::HasFailure()) {
            break;
        }
        std::printf("stream %d: %s\n", attempt + 1, fault.c_str());
    }
    if (!judged) {
        GTEST_SKIP() << "the machine was too busy to hand the pictures on time: " << fault;
    }
    EXPECT_EQ(fault, "");
}
