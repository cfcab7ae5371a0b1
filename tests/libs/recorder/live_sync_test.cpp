#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "libs/recorder/live_encoder.h"
#include "libs/recorder/live_stream.h"
#include "tests/support/child_process.h"
#include "tests/support/media_probe.h"
#include "tests/support/rtmp_server.h"

// A live stream's picture and sound kept together, judged by what they show:
// the test is the microphone and the graph at once, so it knows when each
// picture and each piece of sound happened. Once a second a white picture
// comes and, at the same moment of the wall clock, a click in the sound; in
// the stream the server recorded, each white picture and its click must be
// within 40 ms of each other and together on the whole, and the two tracks
// must begin together.
//
// The sound is handed over as a microphone hands it: a block of 1,024
// samples once that many have been heard. What a real sound server adds
// before the program gets its first block (its own capture latency) is not
// knowable here and not part of this test.

namespace {
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

const std::string kKey = "syncKey5";
constexpr int kWidth = 640, kHeight = 480, kRate = 15;
constexpr int kSampleRate = 48000, kChannels = 2, kBlockFrames = 1024;
constexpr int kEvents = 8;
constexpr int kClickFrames = kSampleRate / 100;  // 10 ms of a loud 1 kHz square
constexpr double kMostApart = 0.040;
// The grid of the frame rate moves the white pictures by up to half a
// picture's time each, by a 16th of it on the whole.
constexpr double kMostOnTheWhole = 0.010;

int64_t nanosecondsOf(Clock::time_point when) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(when.time_since_epoch()).count();
}

// Stands in for the microphone: silence but for a click at each moment the
// picture side announced, each block handed over when its last sample has
// been "heard". Moments are announced before they come, so the block that
// holds one is never made before it is known.
class ClickingMicrophone {
public:
    explicit ClickingMicrophone(LiveEncoder& encoder) : encoder_(encoder) {}
    ~ClickingMicrophone() { stop(); }

    // The first sample is heard at `from`; the first block comes a block
    // later.
    void start(Clock::time_point from) {
        thread_ = std::thread([this, from] { run(from); });
    }
    void stop() {
        stopping_ = true;
        if (thread_.joinable()) {
            thread_.join();
        }
    }
    // A click at `when` (steady-clock nanoseconds, in the future).
    bool announce(int64_t when) {
        const int at = announced_.load();
        if (at >= static_cast<int>(moments_.size())) {
            return false;
        }
        moments_[static_cast<size_t>(at)] = when;
        announced_.store(at + 1);
        return true;
    }

private:
    void run(Clock::time_point from) {
        const int64_t blockNs = int64_t{1'000'000'000} * kBlockFrames / kSampleRate;
        const auto first = from + std::chrono::nanoseconds(blockNs);
        std::this_thread::sleep_until(first);
        // The encoder takes the first sample to have been heard a block
        // before the first block came, as it is from a microphone; this
        // thread may wake late on a busy machine, and its sound is then
        // heard from that moment on.
        const int64_t originNs = nanosecondsOf(Clock::now()) - blockNs;
        std::vector<int16_t> block(static_cast<size_t>(kBlockFrames) * kChannels);
        for (int64_t k = 0; !stopping_; ++k) {
            std::this_thread::sleep_until(first + std::chrono::nanoseconds(k * blockNs));
            fill(block, k * kBlockFrames, originNs);
            encoder_.pushSound(reinterpret_cast<const uint8_t*>(block.data()),
                               static_cast<int>(block.size() * sizeof(int16_t)));
        }
    }

    // The samples from `firstFrame` on (counted from the first heard).
    void fill(std::vector<int16_t>& block, int64_t firstFrame, int64_t originNs) {
        std::fill(block.begin(), block.end(), 0);
        const int announced = announced_.load();
        for (int i = 0; i < announced; ++i) {
            const int64_t clickFrame =
                (moments_[static_cast<size_t>(i)] - originNs) * kSampleRate / 1'000'000'000;
            for (int64_t f = std::max(clickFrame, firstFrame);
                 f < std::min(clickFrame + kClickFrames, firstFrame + kBlockFrames); ++f) {
                const bool high = ((f - clickFrame) / (kSampleRate / 2000)) % 2 == 0;
                for (int c = 0; c < kChannels; ++c) {
                    block[static_cast<size_t>((f - firstFrame) * kChannels + c)] =
                        high ? 24000 : -24000;
                }
            }
        }
    }

    LiveEncoder& encoder_;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::array<int64_t, 64> moments_{};  // written before announced_ counts them
    std::atomic<int> announced_{0};
};

// The stream's times of its white pictures, from the decoded pictures and
// the packets' times (no B-frames: packets come in the order shown; every
// picture is written out, in milliseconds as the stream times them).
std::vector<double> whitePictureTimes(const std::string& path) {
    const std::vector<double> times = packetTimes(path, "v");
    const std::string bytes =
        commandOutput("ffmpeg -v error -i '" + path +
                      "' -map 0:v:0 -fps_mode passthrough -enc_time_base 1:1000 "
                      "-vf scale=32:24 "
                      "-f rawvideo -pix_fmt gray -");
    const size_t frameBytes = 32 * 24;
    std::vector<double> white;
    for (size_t i = 0; (i + 1) * frameBytes <= bytes.size() && i < times.size(); ++i) {
        int sum = 0;
        for (size_t b = 0; b < frameBytes; ++b) {
            sum += static_cast<uint8_t>(bytes[i * frameBytes + b]);
        }
        if (sum / static_cast<int>(frameBytes) > 128) {
            white.push_back(times[i]);
        }
    }
    return white;
}

// The stream's times of the clicks' beginnings: the first loud sample after
// a tenth of a second of quiet, timed from the sound track's first packet.
std::vector<double> clickTimes(const std::string& path) {
    const std::vector<double> packets = packetTimes(path, "a");
    if (packets.empty()) {
        return {};
    }
    const std::string bytes =
        commandOutput("ffmpeg -v error -i '" + path + "' -map 0:a:0 -ac 1 -ar 48000 -f s16le -");
    std::vector<double> clicks;
    int64_t quiet = 0;
    for (size_t i = 0; 2 * i + 1 < bytes.size(); ++i) {
        const auto sample = static_cast<int16_t>(static_cast<uint8_t>(bytes[2 * i]) |
                                                 static_cast<uint8_t>(bytes[2 * i + 1]) << 8);
        if (std::abs(sample) < 12000) {
            ++quiet;
            continue;
        }
        if (quiet >= kSampleRate / 10) {
            clicks.push_back(packets.front() + static_cast<double>(i) / kSampleRate);
        }
        quiet = 0;
    }
    return clicks;
}
}  // namespace

TEST(LiveSync, AWhitePictureAndAClickOfTheSameMomentReachTheServerWithin40msOfEachOther) {
    RtmpServer server(kKey);
    std::string problem;
    ASSERT_TRUE(server.start(&problem)) << problem;
    LiveSettings settings;
    settings.width = kWidth;
    settings.height = kHeight;
    settings.frameRate = kRate;
    settings.sampleRate = kSampleRate;
    settings.channels = kChannels;
    settings.soundBlock = kBlockFrames * kChannels * 2;
    auto encoder = std::make_shared<LiveEncoder>();
    ASSERT_TRUE(encoder->start(settings, &problem)) << problem;
    const auto grid = Clock::now();
    ClickingMicrophone microphone(*encoder);
    microphone.start(grid);
    LiveStream stream;
    ASSERT_TRUE(stream.start(server.address(), kKey, encoder, nullptr));

    const std::vector<uint8_t> black(static_cast<size_t>(kWidth) * kHeight * 3, 0);
    const std::vector<uint8_t> white(black.size(), 255);
    const auto tick = std::chrono::nanoseconds(1'000'000'000 / kRate);
    // Whether each white picture was handed over at its moment: one this
    // thread handed late (a busy machine) was made at another moment than
    // its click, and after a picture handed late the encoder puts each
    // picture a slot later until a tick is left out; neither is judged.
    std::vector<bool> onTime;
    std::optional<int> liveAt;
    int skip = 0;
    bool allOnTime = true;  // since the last ticks left out
    for (int n = 0; std::count(onTime.begin(), onTime.end(), true) < kEvents; ++n) {
        ASSERT_LT(n, kRate * 90) << "a minute and a half, and the stream never got live";
        auto due = grid + n * tick;
        if (!liveAt && stream.state() == LiveState::Live) {
            liveAt = n;
        }
        // From a second after it got live, every fifteenth picture is white
        // and the microphone clicks at the moment it is made. The encoder
        // puts pictures on a grid of the frame rate, which moves each up to
        // half a picture's time; the white ones come each at another moment
        // within a tick, so that the grid moves them as far one way as the
        // other, and the two ticks after one are left out so that its slot
        // is free, wherever the grid puts it.
        const bool event = liveAt && n >= *liveAt + kRate && (n - *liveAt) % kRate == 0;
        if (event) {
            ASSERT_LT(onTime.size(), 40u) << "white pictures handed late: the machine is too busy";
            due += tick * std::count(onTime.begin(), onTime.end(), true) / kEvents;
            ASSERT_TRUE(microphone.announce(nanosecondsOf(due)));
            skip = 2;
        } else if (skip > 0) {
            --skip;
            allOnTime = true;
            continue;
        }
        std::this_thread::sleep_until(due);  // the graph's pace
        const std::vector<uint8_t>& picture = event ? white : black;
        const auto handed = Clock::now();
        encoder->handPicture(picture.data(), picture.size());
        allOnTime = allOnTime && handed - due < 3ms;
        if (event) {
            onTime.push_back(allOnTime);
        }
    }
    // A last second, so that the last click's sound is out of the encoder.
    for (int n = 0; n < kRate; ++n) {
        std::this_thread::sleep_for(tick);
        encoder->handPicture(black.data(), black.size());
    }
    stream.stop();
    microphone.stop();
    encoder->finish();
    ASSERT_TRUE(server.stop());

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

    const std::vector<double> whites = whitePictureTimes(recording);
    const std::vector<double> clicks = clickTimes(recording);
    ASSERT_EQ(whites.size(), onTime.size()) << recording;
    ASSERT_FALSE(clicks.empty()) << recording;
    double sum = 0;
    for (size_t i = 0; i < whites.size(); ++i) {
        // The click nearest the picture (a second from the others); one
        // due while this thread was late may have been made without it.
        const double click = *std::min_element(
            clicks.begin(), clicks.end(),
            [&](double a, double b) { return std::abs(a - whites[i]) < std::abs(b - whites[i]); });
        std::printf("white picture at %.3f s, its click at %.3f s: %+.1f ms%s\n", whites[i], click,
                    (click - whites[i]) * 1000, onTime[i] ? "" : " (handed late)");
        if (!onTime[i]) {
            continue;
        }
        EXPECT_LE(std::abs(click - whites[i]), kMostApart)
            << "white picture " << i << " at " << whites[i] << " s, its click at " << click << " s";
        sum += click - whites[i];
    }
    // Moved by the grid as far one way as the other, the pictures are with
    // their clicks on the whole: the sound is not behind or ahead.
    const double mean = sum / kEvents;
    std::printf("the clicks come %+.1f ms after their pictures on the whole\n", mean * 1000);
    EXPECT_LE(std::abs(mean), kMostOnTheWhole) << "the sound is " << mean * 1000 << " ms behind";
}
