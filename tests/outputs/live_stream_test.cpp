#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/output_mode.h"
#include "engine/play_graph.h"
#include "engine/video_effect.h"
#include "outputs/live_stream_output.h"
#include "outputs/wmv_record_output.h"
#include "tests/support/child_process.h"
#include "tests/support/frame_number_band.h"
#include "tests/support/log_capture.h"
#include "tests/support/media_probe.h"
#include "tests/support/rtmp_server.h"
#include "tests/support/test_components.h"
#include "tests/support/tls_relay.h"

namespace {
using namespace std::chrono_literals;

const std::string kKey = "k3yOfTheTest9";

// Draws each composed picture's number, from 1, into its band; last of the
// effects, so it is what the outputs get.
class NumberMarker : public VideoEffect {
public:
    NumberMarker() : VideoEffect(EFFECT_ORDER_TEXT + 1000) {}
    void Process(uint8_t* data, size_t, int32_t width, int32_t height) override {
        FrameNumberBand::draw(data, width, height, ++painted_);
    }
    // The number of the last picture painted.
    int painted() const { return painted_.load(); }

private:
    std::atomic<int> painted_{0};  // only the graph's worker paints; the test reads
};

// Covers each picture with new noise before its number is drawn, so that
// the encoder needs its whole bit rate: a still picture costs it a tenth,
// which the kernel's socket buffers would then take for minutes.
class Noise : public VideoEffect {
public:
    Noise() : VideoEffect(EFFECT_ORDER_TEXT + 500) {}
    void Process(uint8_t* data, size_t size, int32_t, int32_t) override {
        auto* words = reinterpret_cast<uint32_t*>(data);
        for (size_t i = 0; i < size / 4; ++i) {
            state_ ^= state_ << 13;  // xorshift32
            state_ ^= state_ >> 17;
            state_ ^= state_ << 5;
            words[i] = state_;
        }
    }

private:
    uint32_t state_ = 2463534242u;  // only the graph's worker draws
};

// Every state the stream reported, in order.
class StateLog : public LiveStreamListener {
public:
    void onLiveState(LiveState state, LiveStopReason reason) override {
        {
            std::lock_guard<std::mutex> guard(lock_);
            states_.push_back({state, reason});
        }
        changed_.notify_all();
    }

    // Waits until `state` was reported; false at the deadline.
    bool waitFor(LiveState state, std::chrono::milliseconds timeout = 30s) {
        std::unique_lock<std::mutex> guard(lock_);
        return changed_.wait_for(guard, timeout, [&] { return countLocked(state) > 0; });
    }
    // Waits until `state` was reported `times` times.
    bool waitForTimes(LiveState state, size_t times, std::chrono::milliseconds timeout = 30s) {
        std::unique_lock<std::mutex> guard(lock_);
        return changed_.wait_for(guard, timeout, [&] { return countLocked(state) >= times; });
    }
    std::string text() const {
        std::lock_guard<std::mutex> guard(lock_);
        std::string out;
        for (const auto& [state, reason] : states_) {
            out +=
                std::string(liveStateName(state)) +
                (state == LiveState::Stopped ? std::string("(") + liveStopReasonName(reason) + ")"
                                             : "") +
                " ";
        }
        return out;
    }

private:
    size_t countLocked(LiveState state) const {
        return static_cast<size_t>(std::count_if(states_.begin(), states_.end(),
                                                 [&](const auto& s) { return s.first == state; }));
    }

    mutable std::mutex lock_;  // guards states_ between the stream's thread and the test
    std::condition_variable changed_;
    std::vector<std::pair<LiveState, LiveStopReason>> states_;
};

// A picture whose top tenth is yellow and the rest blue, bottom row first.
std::vector<uint8_t> bandedPicture(int32_t width, int32_t height) {
    std::vector<uint8_t> frame(VideoFrame::Size32(width, height));
    for (int line = 0; line < height; ++line) {
        uint8_t* row =
            VideoFrame::PictureRow(frame.data(), VideoFrame::RowBytes(width, 32), height, line);
        for (int x = 0; x < width; ++x) {
            bool band = line < height / 10;
            row[x * 4] = band ? 0 : 200;
            row[x * 4 + 1] = band ? 255 : 40;
            row[x * 4 + 2] = band ? 255 : 40;
        }
    }
    return frame;
}

// The numbers in the band of every decoded picture of a file, in the order
// they are shown; empty where a picture has none. Decoded at 320 x 240 to
// keep the test's memory small; the band's cells are large enough for it.
// Wide pictures are decoded at 640 x 360, whose cells keep their shape.
std::vector<std::optional<int>> frameNumbersOf(const std::string& path, bool wide = false) {
    const int kWidth = wide ? 640 : 320, kHeight = wide ? 360 : 240;
    std::string bytes =
        commandOutput("ffmpeg -v error -i '" + path +
                      "' -map 0:v:0 -fps_mode passthrough -vf scale=" + std::to_string(kWidth) +
                      ":" + std::to_string(kHeight) + ",vflip -f rawvideo -pix_fmt bgra -");
    const size_t frameBytes = static_cast<size_t>(kWidth) * kHeight * 4;
    std::vector<std::optional<int>> numbers;
    for (size_t at = 0; at + frameBytes <= bytes.size(); at += frameBytes) {
        numbers.push_back(FrameNumberBand::read(reinterpret_cast<const uint8_t*>(bytes.data() + at),
                                                kWidth, kHeight));
    }
    return numbers;
}

struct LiveStreamTest : ::testing::Test {
    RtmpServer server{kKey};
    ManualSource picture;
    NumberMarker marker;
    Noise noise;  // for the tests that add it
    StateLog states;
    std::unique_ptr<PlayGraph, void (*)(PlayGraph*)> graph{
        PlayGraph::Create(15), [](PlayGraph* g) { PlayGraph::Destroy(&g); }};

    void SetUp() override {
        auto frame = bandedPicture(640, 480);
        picture.PushFrame(frame.data(), frame.size());
        graph->SetPlaceholderSource(&picture);
        graph->AddEffect(&marker);
        std::string problem;
        ASSERT_TRUE(server.start(&problem)) << problem;
    }

    void TearDown() override {
        graph->Stop();
        graph->RemoveEffect(&noise);
        graph->RemoveEffect(&marker);
    }
};
}  // namespace

TEST_F(LiveStreamTest, TheServerGetsTheModesPictureWithSoundKeyFramesAndEveryNumberInOrder) {
    LogCapture log;
    OutputMode mode = graph->Mode();
    LiveCounters counters;
    {
        LiveStreamOutput output(mode.width, mode.height, mode.frameRate);
        ASSERT_TRUE(output.start(server.address(), kKey, &states));
        graph->AddOutput(&output);
        ASSERT_EQ(graph->Start(), 0);
        ASSERT_TRUE(states.waitFor(LiveState::Live)) << states.text() << "\n" << server.log();
        // Six seconds of pictures, by the stream's own count: three key
        // frame intervals, however slowly a busy machine makes them.
        ASSERT_TRUE(eventually([&] { return output.counters().picturesSent >= 90; }, 90s))
            << output.counters().picturesSent << " pictures sent";
        graph->RemoveOutput(&output);
        output.stop();
        counters = output.counters();
        EXPECT_EQ(output.state(), LiveState::Stopped);
        EXPECT_EQ(output.stopReason(), LiveStopReason::Requested);
    }
    EXPECT_EQ(states.text(), "connecting live stopped(requested) ");
    EXPECT_GT(counters.bytesSent, 0u);
    EXPECT_GT(counters.secondsLive, 0.0);
    EXPECT_GT(counters.kbitsPerSecond(), 0.0);
    EXPECT_EQ(server.publishAttempts(kKey), 1);
    ASSERT_TRUE(server.stop()) << "nginx ends, closing the recording";

    const std::string recording = server.recordingOf(kKey);
    auto streams = probeStreams(recording);
    ASSERT_EQ(streams.size(), 2u) << recording;
    const ProbedStream& video = streams[0].type == "video" ? streams[0] : streams[1];
    const ProbedStream& sound = streams[0].type == "video" ? streams[1] : streams[0];
    EXPECT_EQ(video.codec, "h264");
    EXPECT_EQ(video.width, 640);
    EXPECT_EQ(video.height, 480);
    EXPECT_EQ(sound.codec, "aac");
    EXPECT_EQ(sound.sampleRate, 48000);
    EXPECT_EQ(sound.channels, 2);

    // A key frame at least every 2 s of the stream's own time (2 ms more for
    // the rounding of FLV's millisecond stamps).
    auto keys = keyFrameTimes(recording);
    auto pictures = packetTimes(recording, "v");
    ASSERT_GE(keys.size(), 2u);
    ASSERT_FALSE(pictures.empty());
    keys.push_back(*std::max_element(pictures.begin(), pictures.end()));
    for (size_t i = 1; i < keys.size(); ++i) {
        EXPECT_LE(keys[i] - keys[i - 1], 2.0 + 0.002)
            << "key frames at " << keys[i - 1] << " s and " << keys[i] << " s";
    }

    // The stream begins with a picture, and the sound heard from then on
    // follows at once, with the real microphone. The sound cannot begin
    // sooner than the microphone: beside a loaded build its first block came
    // 42 ms after the first key frame, so only a sound that begins later
    // than any start of the microphone (a quarter second) is taken as lost.
    // Whether the two stay together is LiveSync's test.
    const std::vector<double> soundTimes = packetTimes(recording, "a");
    ASSERT_FALSE(soundTimes.empty());
    std::printf("first picture at %.3f s, first sound at %.3f s\n", pictures.front(),
                soundTimes.front());
    EXPECT_GE(soundTimes.front() - pictures.front(), -0.040)
        << "picture from " << pictures.front() << " s, sound from " << soundTimes.front() << " s";
    EXPECT_LE(soundTimes.front() - pictures.front(), 0.250)
        << "picture from " << pictures.front() << " s, sound from " << soundTimes.front() << " s";

    // Every picture's number, in the order composed: none repeated or out of
    // order, and none missing beyond those the stream said it left out.
    auto numbers = frameNumbersOf(recording);
    std::vector<int> read;
    size_t unreadable = 0;
    for (const auto& number : numbers) {
        if (number) {
            read.push_back(*number);
        } else {
            ++unreadable;
        }
    }
    ASSERT_GE(read.size(), 60u) << numbers.size() << " pictures decoded, " << unreadable
                                << " without a number";
    int missing = 0;
    for (size_t i = 1; i < read.size(); ++i) {
        ASSERT_GT(read[i], read[i - 1]) << "picture " << i << " of the stream";
        missing += read[i] - read[i - 1] - 1;
    }
    EXPECT_LE(static_cast<uint64_t>(missing), counters.picturesLeftOut + unreadable)
        << "numbers " << read.front() << " to " << read.back() << ", " << read.size() << " of them";

    // The key is a secret: the log names the server without it.
    bool serverNamed = false;
    for (const std::string& line : log.lines()) {
        EXPECT_EQ(line.find(kKey), std::string::npos) << line;
        serverNamed = serverNamed || line.find(server.address()) != std::string::npos;
    }
    EXPECT_TRUE(serverNamed) << "the log says where the stream went";
}

TEST_F(LiveStreamTest, ARefusedKeyAnUnreachableServerAndABadAddressEachStopWithTheirReason) {
    struct Case {
        std::string address;
        std::string key;
        LiveStopReason reason;
    };
    const std::vector<Case> unreachable = {
        {server.address(), "notTheKey", LiveStopReason::KeyRefused},
        {"rtmp://127.0.0.1:" + std::to_string(unusedLocalPort()) + "/live", kKey,
         LiveStopReason::ConnectionRefused},
        {"rtmp://no-such-host.invalid/live", kKey, LiveStopReason::UnknownHost},
    };
    for (const Case& c : unreachable) {
        StateLog log;
        LiveStreamOutput output(640, 480, 15);
        ASSERT_TRUE(output.start(c.address, c.key, &log)) << c.address;
        EXPECT_TRUE(log.waitFor(LiveState::Stopped)) << c.address << ": " << log.text();
        output.stop();
        EXPECT_EQ(output.stopReason(), c.reason)
            << c.address << ": " << liveStopReasonName(output.stopReason());
        EXPECT_EQ(log.text(),
                  "connecting stopped(" + std::string(liveStopReasonName(c.reason)) + ") ")
            << c.address << ": never live, so never tried again";
    }
    // The refused key was offered once: the stream's thread had ended when it
    // said it stopped, so no second attempt can come.
    EXPECT_EQ(server.publishAttempts("notTheKey"), 1);
    EXPECT_EQ(server.publishAttempts(kKey), 0);

    const std::vector<std::string> badAddresses = {"http://127.0.0.1/live",
                                                   "rtmp://127.0.0.1",
                                                   "rtmp:///live",
                                                   "rtmp://127.0.0.1:99999/live",
                                                   "srt://127.0.0.1",
                                                   "live/" + kKey,
                                                   ""};
    for (const std::string& address : badAddresses) {
        StateLog log;
        LiveStreamOutput output(640, 480, 15);
        EXPECT_FALSE(output.start(address, kKey, &log)) << address;
        EXPECT_EQ(output.state(), LiveState::Stopped) << address;
        EXPECT_EQ(output.stopReason(), LiveStopReason::BadUrl) << address;
        EXPECT_EQ(log.text(), "stopped(bad address) ") << address;
    }
}

TEST_F(LiveStreamTest, AStreamGoesOnEachTimeItsServerComesBackAndARecordingBesideItHasNoGap) {
    LogCapture log;
    ScratchDir dir;
    const std::string recordingPath = dir.file("beside.flv");
    OutputMode mode = graph->Mode();
    LiveStreamOutput output(mode.width, mode.height, mode.frameRate);
    uint64_t streamLeftOut = 0;
    {
        WmvRecordOutput recording(std::wstring(recordingPath.begin(), recordingPath.end()),
                                  mode.frameRate, RECORD_VIDEO, mode.width, mode.height);
        ASSERT_TRUE(recording.start());
        ASSERT_TRUE(output.start(server.address(), kKey, &states));
        graph->AddOutput(&recording);
        graph->AddOutput(&output);
        ASSERT_EQ(graph->Start(), 0);
        ASSERT_TRUE(states.waitFor(LiveState::Live)) << states.text() << "\n" << server.log();

        for (size_t loss = 1; loss <= 2; ++loss) {
            server.kill();
            ASSERT_TRUE(states.waitForTimes(LiveState::Reconnecting, loss)) << states.text();
            std::string problem;
            ASSERT_TRUE(server.start(&problem)) << problem;
            const auto back = std::chrono::steady_clock::now();
            // The first try comes a second after the loss; while the server
            // is still down the waits grow to 2, 4, … s.
            ASSERT_TRUE(states.waitForTimes(LiveState::Live, loss + 1, 60s)) << states.text();
            // How soon it resumed is a figure for the log, not a condition:
            // a loaded machine may take longer.
            const double resumedAfter =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - back).count();
            RecordProperty("resumed_after_loss_" + std::to_string(loss) + "_s",
                           std::to_string(resumedAfter));
            std::printf("live again %.2f s after the server was back (loss %zu)\n", resumedAfter,
                        loss);
            const uint64_t sentBefore = output.counters().picturesSent;
            ASSERT_TRUE(
                eventually([&] { return output.counters().picturesSent >= sentBefore + 30; }, 60s))
                << "pictures go on after the return";
        }
        graph->RemoveOutput(&output);
        output.stop();
        streamLeftOut = output.counters().picturesLeftOut;
        graph->RemoveOutput(&recording);
        recording.stop();
    }
    EXPECT_EQ(states.text(),
              "connecting live reconnecting live reconnecting live stopped(requested) ");
    EXPECT_EQ(server.publishAttempts(kKey), 3);
    EXPECT_GT(streamLeftOut, 0u) << "the stream left pictures out while its server was away";
    ASSERT_TRUE(server.stop());

    // What came after the last return is a stream of its own, from a key
    // frame.
    const std::string received = server.recordingOf(kKey);
    ASSERT_EQ(probeStreams(received).size(), 2u) << received;
    std::vector<int> read;
    for (const auto& number : frameNumbersOf(received)) {
        if (number) {
            read.push_back(*number);
        }
    }
    ASSERT_GE(read.size(), 20u);
    EXPECT_TRUE(std::is_sorted(read.begin(), read.end()) &&
                std::adjacent_find(read.begin(), read.end()) == read.end())
        << "numbers in order, each once";

    // The recording did not notice: every picture's number from its first
    // to its last, but for those the recorder itself says it left out.
    uint64_t recordingLeftOut = 0;
    for (const std::string& line : log.lines()) {
        unsigned long long count = 0;
        if (std::sscanf(line.c_str(), "RecorderHelper, %llu pictures left out", &count) == 1) {
            recordingLeftOut += count;
        }
    }
    std::vector<int> recorded;
    for (const auto& number : frameNumbersOf(recordingPath)) {
        if (number) {
            recorded.push_back(*number);
        }
    }
    ASSERT_GE(recorded.size(), 60u) << recordingPath;
    uint64_t holes = 0;
    for (size_t i = 1; i < recorded.size(); ++i) {
        ASSERT_GT(recorded[i], recorded[i - 1]) << "picture " << i << " of the recording";
        holes += static_cast<uint64_t>(recorded[i] - recorded[i - 1] - 1);
    }
    EXPECT_LE(holes, recordingLeftOut) << "numbers " << recorded.front() << " to "
                                       << recorded.back() << ", " << recorded.size() << " of them";
}

TEST_F(LiveStreamTest, PicturesLeftOutDoNotStretchTheTimeBetweenKeyFrames) {
    // Four pictures of every sixteen never come, as when the graph is held
    // up: thirty pictures then span 2.7 s of the stream's time.
    std::vector<uint8_t> frame32 = bandedPicture(640, 480);
    std::vector<uint8_t> frame24(VideoFrame::Size24(640, 480));
    for (size_t i = 0, j = 0; i < frame32.size(); i += 4, j += 3) {
        std::copy_n(&frame32[i], 3, &frame24[j]);
    }
    {
        LiveStreamOutput output(640, 480, 15);
        ASSERT_TRUE(output.start(server.address(), kKey, &states));
        auto next = std::chrono::steady_clock::now();
        for (int tick = 0; output.counters().picturesSent < 75; ++tick) {
            ASSERT_LT(tick, 15 * 60) << "a minute of ticks";
            if (tick % 16 >= 4) {
                output.OnFrame24(frame24.data(), frame24.size(), 640, 480);
            }
            next += std::chrono::microseconds(1000000 / 15);
            std::this_thread::sleep_until(next);  // the graph's pace
        }
        output.stop();
        EXPECT_EQ(output.stopReason(), LiveStopReason::Requested) << states.text();
    }
    ASSERT_TRUE(server.stop());
    const std::string recording = server.recordingOf(kKey);
    auto keys = keyFrameTimes(recording);
    auto pictures = packetTimes(recording, "v");
    ASSERT_GE(keys.size(), 2u) << recording;
    ASSERT_FALSE(pictures.empty());
    keys.push_back(*std::max_element(pictures.begin(), pictures.end()));
    for (size_t i = 1; i < keys.size(); ++i) {
        EXPECT_LE(keys[i] - keys[i - 1], 2.0 + 0.002)
            << "key frames at " << keys[i - 1] << " s and " << keys[i] << " s";
    }
}

TEST_F(LiveStreamTest, SrtGoesToACallersListenerAsMpegTsAndANoListenerIsRefused) {
    const int port = unusedLocalPort();
    ScratchDir dir;
    const std::string received = dir.file("received.ts");
    ChildProcess listener;
    ASSERT_TRUE(listener.spawn("/usr/bin/ffmpeg",
                               {"-v", "error", "-nostdin", "-y", "-i",
                                "srt://127.0.0.1:" + std::to_string(port) + "?mode=listener", "-c",
                                "copy", "-f", "mpegts", received}));
    {
        OutputMode mode = graph->Mode();
        LiveStreamOutput output(mode.width, mode.height, mode.frameRate);
        // An SRT caller is through once it has sent: the graph runs first.
        graph->AddOutput(&output);
        ASSERT_EQ(graph->Start(), 0);
        // The listener may still be starting: a first try that finds nobody
        // is refused, a try after it is up gets through.
        ASSERT_TRUE(eventually(
            [&] {
                if (output.state() == LiveState::Stopped) {
                    output.stop();
                    output.start("srt://127.0.0.1:" + std::to_string(port), "", &states);
                }
                return output.state() == LiveState::Live;
            },
            30s))
            << states.text();
        ASSERT_TRUE(eventually([&] { return output.counters().picturesSent >= 45; }, 60s));
        graph->RemoveOutput(&output);
        output.stop();
        EXPECT_EQ(output.stopReason(), LiveStopReason::Requested);
    }
    // The listener's input ends with the caller's connection.
    EXPECT_EQ(listener.wait(20s), 0);
    // ffprobe names a transport stream's tracks twice: as streams and in
    // their program.
    auto streams = probeStreams(received);
    auto video = std::find_if(streams.begin(), streams.end(),
                              [](const ProbedStream& s) { return s.type == "video"; });
    auto sound = std::find_if(streams.begin(), streams.end(),
                              [](const ProbedStream& s) { return s.type == "audio"; });
    ASSERT_TRUE(video != streams.end() && sound != streams.end()) << received;
    EXPECT_EQ(video->codec, "h264");
    EXPECT_EQ(video->width, 640);
    EXPECT_EQ(video->height, 480);
    EXPECT_EQ(sound->codec, "aac");
    EXPECT_EQ(sound->sampleRate, 48000);
    std::vector<int> read;
    for (const auto& number : frameNumbersOf(received)) {
        if (number) {
            read.push_back(*number);
        }
    }
    EXPECT_GE(read.size(), 20u);
    EXPECT_TRUE(std::is_sorted(read.begin(), read.end()) &&
                std::adjacent_find(read.begin(), read.end()) == read.end())
        << "numbers in order, each once";

    StateLog nobody;
    LiveStreamOutput output(640, 480, 15);
    ASSERT_TRUE(output.start("srt://127.0.0.1:" + std::to_string(unusedLocalPort()), "", &nobody));
    graph->AddOutput(&output);  // its first picture is its first write
    EXPECT_TRUE(nobody.waitFor(LiveState::Stopped)) << nobody.text();
    graph->RemoveOutput(&output);
    output.stop();
    EXPECT_EQ(nobody.text(), "connecting stopped(connection refused) ");
}

TEST_F(LiveStreamTest, AServerThatFallsSilentIsLeftTriedAgainAndNothingPilesUpMeanwhile) {
    graph->AddEffect(&noise);
    OutputMode mode = graph->Mode();
    // What may wait in the stream however long the server is silent: the
    // pools' ten pictures not yet encoded, and behind the encoders a second
    // of encoded picture and sound, well under a megabyte at these rates.
    const uint64_t mostThatMayWait = 10ull * mode.width * mode.height * 3 / 2 + (1u << 20);
    LiveStreamOutput output(mode.width, mode.height, mode.frameRate);
    ASSERT_TRUE(output.start(server.address(), kKey, &states));
    graph->AddOutput(&output);
    ASSERT_EQ(graph->Start(), 0);
    ASSERT_TRUE(states.waitFor(LiveState::Live)) << states.text() << "\n" << server.log();

    // The server stops reading; its connection stays open and the sink's
    // writes wait for ever. The stream must see that itself.
    server.pause();
    uint64_t mostWaiting = 0;
    auto noteWaiting = [&] {
        LiveCounters counters = output.counters();
        mostWaiting = std::max(mostWaiting, counters.bytesWaiting);
        return counters;
    };
    ASSERT_TRUE(eventually(
        [&] {
            noteWaiting();
            return output.state() == LiveState::Reconnecting;
        },
        45s))
        << states.text();
    // Meanwhile the pictures are left out, not kept.
    const uint64_t leftOutWhenLost = output.counters().picturesLeftOut;
    ASSERT_TRUE(
        eventually([&] { return noteWaiting().picturesLeftOut >= leftOutWhenLost + 30; }, 20s))
        << output.counters().picturesLeftOut << " left out";
    EXPECT_GT(mostWaiting, 0u) << "the sink held the stream up before it was left";
    EXPECT_LE(mostWaiting, mostThatMayWait);

    server.resume();
    EXPECT_TRUE(states.waitForTimes(LiveState::Live, 2, 45s)) << states.text();
    graph->RemoveOutput(&output);
    output.stop();
    EXPECT_EQ(states.text(), "connecting live reconnecting live stopped(requested) ");
}

// The sizes of a file's video packets, in file order.
std::vector<int> videoPacketSizes(const std::string& path) {
    std::vector<int> sizes;
    std::string text = commandOutput(
        "ffprobe -v error -select_streams v:0 -show_entries "
        "packet=size -of csv=p=0 '" +
        path + "'");
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        end = end == std::string::npos ? text.size() : end;
        if (end > at) {
            sizes.push_back(std::atoi(text.substr(at, end - at).c_str()));
        }
        at = end + 1;
    }
    return sizes;
}

// How many pictures the recordings made of the stream's encoder said they
// left out.
uint64_t sharedRecordingLeftOut(const LogCapture& log) {
    uint64_t leftOut = 0;
    for (const std::string& line : log.lines()) {
        unsigned long long count = 0;
        if (std::sscanf(line.c_str(), "EncodedRecording, %llu pictures left out", &count) == 1) {
            leftOut += count;
        }
    }
    return leftOut;
}

TEST_F(LiveStreamTest, ARecordingBesideAnHdStreamIsMadeOfItsOwnEncodedPicturesAndOutlivesIt) {
    LogCapture log;
    ScratchDir dir;
    graph->SetOutputMode(kHd720Mode);
    OutputMode mode = graph->Mode();
    const std::string whileLive = dir.file("while-live.flv");
    const std::string outliving = dir.file("outliving.flv");
    auto wide = [](const std::string& path) { return std::wstring(path.begin(), path.end()); };
    LiveStreamOutput output(mode.width, mode.height, mode.frameRate);
    ASSERT_TRUE(output.start(server.address(), kKey, &states));
    graph->AddOutput(&output);
    ASSERT_EQ(graph->Start(), 0);
    ASSERT_TRUE(states.waitFor(LiveState::Live)) << states.text() << "\n" << server.log();
    auto picturesGoOn = [&](uint64_t more) {
        const uint64_t from = output.counters().picturesSent;
        return eventually([&] { return output.counters().picturesSent >= from + more; }, 60s);
    };
    {
        WmvRecordOutput recording(wide(whileLive), mode.frameRate, RECORD_VIDEO | RECORD_SOUND,
                                  mode.width, mode.height);
        ASSERT_TRUE(recording.start());
        graph->AddOutput(&recording);
        ASSERT_TRUE(picturesGoOn(45));
        graph->RemoveOutput(&recording);
        recording.stop();
    }
    ASSERT_TRUE(picturesGoOn(30)) << "the stream goes on when the recording ends";
    EXPECT_EQ(output.state(), LiveState::Live);

    int lastWhileLive = 0;
    {
        WmvRecordOutput recording(wide(outliving), mode.frameRate, RECORD_VIDEO | RECORD_SOUND,
                                  mode.width, mode.height);
        ASSERT_TRUE(recording.start());
        graph->AddOutput(&recording);
        ASSERT_TRUE(picturesGoOn(30));
        graph->RemoveOutput(&output);
        output.stop();
        lastWhileLive = marker.painted();
        ASSERT_TRUE(eventually([&] { return marker.painted() >= lastWhileLive + 30; }, 60s));
        graph->RemoveOutput(&recording);
        recording.stop();
    }
    EXPECT_EQ(states.text(), "connecting live stopped(requested) ");
    ASSERT_TRUE(server.stop());

    // The server and both recordings have pictures of the mode's size; the
    // recordings carry the stream's sound (48 kHz; one of its own is
    // 44.1 kHz).
    const std::string received = server.recordingOf(kKey);
    for (const std::string& path : {received, whileLive, outliving}) {
        std::vector<ProbedStream> streams = probeStreams(path);
        ASSERT_EQ(streams.size(), 2u) << path;
        for (const ProbedStream& stream : streams) {
            if (stream.type == "video") {
                EXPECT_EQ(stream.width, mode.width) << path;
                EXPECT_EQ(stream.height, mode.height) << path;
            } else {
                EXPECT_EQ(stream.sampleRate, 48000) << path;
            }
        }
    }

    // Encoded once: the recording's pictures are the very packets the
    // server got, one after the other from the recording's first key frame
    // (which the server got too), byte for byte as long.
    const std::vector<int> sent = videoPacketSizes(received);
    std::vector<int> recorded = videoPacketSizes(whileLive);
    ASSERT_GE(recorded.size(), 40u) << whileLive;
    recorded.resize(40);
    EXPECT_NE(std::search(sent.begin(), sent.end(), recorded.begin(), recorded.end()), sent.end())
        << "the recording's first 40 pictures are not a run of the stream's " << sent.size();

    // The second recording went on after the stream ended, without a gap
    // but for the pictures it says it left out.
    std::vector<int> numbers;
    for (const auto& number : frameNumbersOf(outliving, true)) {
        if (number) {
            numbers.push_back(*number);
        }
    }
    ASSERT_GE(numbers.size(), 30u) << outliving;
    EXPECT_GE(numbers.back(), lastWhileLive + 20) << "pictures after the stream ended";
    uint64_t holes = 0;
    for (size_t i = 1; i < numbers.size(); ++i) {
        ASSERT_GT(numbers[i], numbers[i - 1]) << "picture " << i << " of the recording";
        holes += static_cast<uint64_t>(numbers[i] - numbers[i - 1] - 1);
    }
    EXPECT_LE(holes, sharedRecordingLeftOut(log));
}

// Points the sound server's address somewhere nothing answers, as on a
// desktop without one, for the life of the object.
class NoSoundServer {
public:
    NoSoundServer() {
        const char* was = std::getenv("PULSE_SERVER");
        saved_ = was != nullptr ? std::optional<std::string>(was) : std::nullopt;
        setenv("PULSE_SERVER", "unix:/nonexistent/lumora/native", 1);
    }
    ~NoSoundServer() {
        if (saved_) {
            setenv("PULSE_SERVER", saved_->c_str(), 1);
        } else {
            unsetenv("PULSE_SERVER");
        }
    }

private:
    std::optional<std::string> saved_;
};

TEST_F(LiveStreamTest, WithoutAMicrophoneTheStreamAndARecordingBesideItHavePicturesOnly) {
    ScratchDir dir;
    OutputMode mode = graph->Mode();
    const std::string besideIt = dir.file("pictures-only.flv");
    const std::string wantsSound = dir.file("wants-sound.flv");
    auto wide = [](const std::string& path) { return std::wstring(path.begin(), path.end()); };
    {
        NoSoundServer deaf;
        LiveStreamOutput output(mode.width, mode.height, mode.frameRate);
        ASSERT_TRUE(output.start(server.address(), kKey, &states)) << "a stream needs no sound";
        EXPECT_FALSE(output.hasSound());
        graph->AddOutput(&output);
        ASSERT_EQ(graph->Start(), 0);
        ASSERT_TRUE(states.waitFor(LiveState::Live)) << states.text() << "\n" << server.log();
        {
            WmvRecordOutput withSound(wide(wantsSound), mode.frameRate, RECORD_SOUND | RECORD_VIDEO,
                                      mode.width, mode.height);
            EXPECT_FALSE(withSound.start()) << "a recording with sound still needs a microphone";
            WmvRecordOutput pictures(wide(besideIt), mode.frameRate, RECORD_VIDEO, mode.width,
                                     mode.height);
            ASSERT_TRUE(pictures.start());
            graph->AddOutput(&pictures);
            const uint64_t from = output.counters().picturesSent;
            ASSERT_TRUE(
                eventually([&] { return output.counters().picturesSent >= from + 45; }, 60s));
            graph->RemoveOutput(&pictures);
            pictures.stop();
        }
        graph->RemoveOutput(&output);
        output.stop();
    }
    EXPECT_EQ(states.text(), "connecting live stopped(requested) ");
    ASSERT_TRUE(server.stop());
    for (const std::string& path : {server.recordingOf(kKey), besideIt}) {
        std::vector<ProbedStream> streams = probeStreams(path);
        ASSERT_EQ(streams.size(), 1u) << path;
        EXPECT_EQ(streams[0].type, "video") << path;
        std::vector<int> read;
        for (const auto& number : frameNumbersOf(path)) {
            if (number) {
                read.push_back(*number);
            }
        }
        ASSERT_GE(read.size(), 30u) << path;
        EXPECT_TRUE(std::is_sorted(read.begin(), read.end()) &&
                    std::adjacent_find(read.begin(), read.end()) == read.end())
            << path << ": numbers in order, each once";
    }
}

TEST_F(LiveStreamTest, AKeyTheServerStillStreamsIsNotTakenForARefusedOne) {
    // The server still has a stream under the key, as it has the stream of a
    // connection it has not yet noticed lost: a second publisher is turned
    // away, but not for its key, which a stream that was live tries again.
    OutputMode mode = graph->Mode();
    LiveStreamOutput first(mode.width, mode.height, mode.frameRate);
    ASSERT_TRUE(first.start(server.address(), kKey, &states));
    graph->AddOutput(&first);
    ASSERT_EQ(graph->Start(), 0);
    ASSERT_TRUE(states.waitFor(LiveState::Live)) << states.text() << "\n" << server.log();
    {
        StateLog told;
        LiveStreamOutput second(mode.width, mode.height, mode.frameRate);
        ASSERT_TRUE(second.start(server.address(), kKey, &told));
        graph->AddOutput(&second);
        EXPECT_TRUE(told.waitFor(LiveState::Stopped)) << told.text();
        graph->RemoveOutput(&second);
        second.stop();
        EXPECT_EQ(told.text(), "connecting stopped(failed) ");
    }
    graph->RemoveOutput(&first);
    first.stop();
    EXPECT_EQ(states.text(), "connecting live stopped(requested) ");
}

TEST_F(LiveStreamTest, RtmpsToAPortThatSpeaksNoTlsIsATlsFailureAndToOneThatNeverAnswersIsNot) {
    // A port that takes no connection and refuses none: another process
    // listens with no room for waiting connections and never accepts, and
    // fills that room itself, so that new ones wait unanswered.
    ChildProcess full;
    ASSERT_TRUE(full.fork([](int report) {
        int listening = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(listening, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(listening, 0) != 0 ||
            ::getsockname(listening, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            return 1;
        }
        for (int i = 0; i < 4; ++i) {
            int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            ::connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address);
        }
        writeAll(report, std::to_string(ntohs(address.sin_port)) + "\n");
        ::pause();  // until the test ends it
        return 0;
    }));
    std::string fullPort;
    ASSERT_TRUE(full.readLine(&fullPort));

    struct Case {
        std::string address;
        LiveStopReason reason;
    };
    const std::vector<Case> cases = {
        // nginx's RTMP port takes the TCP connection and waits for an RTMP
        // handshake; the TLS greeting gets no answer.
        {"rtmps://127.0.0.1:" + std::to_string(server.port()) + "/live",
         LiveStopReason::TlsFailure},
        {"rtmps://127.0.0.1:" + fullPort + "/live", LiveStopReason::NoAnswer},
    };
    for (const Case& c : cases) {
        StateLog told;
        LiveStreamOutput output(640, 480, 15);
        ASSERT_TRUE(output.start(c.address, kKey, &told));
        EXPECT_TRUE(told.waitFor(LiveState::Stopped)) << c.address << ": " << told.text();
        output.stop();
        EXPECT_EQ(told.text(),
                  "connecting stopped(" + std::string(liveStopReasonName(c.reason)) + ") ")
            << c.address << ": never live, so never tried again";
    }
    EXPECT_EQ(server.publishAttempts(kKey), 0);
    full.signal(SIGTERM);
}

// rtmps:// through TLS in front of the server: with the relay's certificate
// trusted (SSL_CERT_FILE, as other TLS programs take it) the stream goes
// live through it and the server records it; without, the certificate no
// authority signed is refused as a TLS failure, and nothing is published.
TEST_F(LiveStreamTest, RtmpsGoesLiveThroughTlsAndAnUntrustedCertificateIsRefused) {
    TlsRelay relay(server.port());
    std::string problem;
    ASSERT_TRUE(relay.start(&problem)) << problem;
    const std::string address = "rtmps://127.0.0.1:" + std::to_string(relay.port()) + "/live";
    OutputMode mode = graph->Mode();
    ASSERT_EQ(graph->Start(), 0);
    {
        StateLog told;
        LiveStreamOutput output(mode.width, mode.height, mode.frameRate);
        ASSERT_TRUE(output.start(address, kKey, &told));
        EXPECT_TRUE(told.waitFor(LiveState::Stopped)) << told.text();
        output.stop();
        EXPECT_EQ(told.text(), "connecting stopped(" +
                                   std::string(liveStopReasonName(LiveStopReason::TlsFailure)) +
                                   ") ");
        EXPECT_EQ(server.publishAttempts(kKey), 0);
    }
    ::setenv("SSL_CERT_FILE", relay.certificateFile().c_str(), 1);
    uint64_t sent = 0;
    {
        LiveStreamOutput output(mode.width, mode.height, mode.frameRate);
        ASSERT_TRUE(output.start(address, kKey, &states));
        graph->AddOutput(&output);
        EXPECT_TRUE(states.waitFor(LiveState::Live)) << states.text() << "\n" << server.log();
        EXPECT_TRUE(eventually([&] { return output.counters().picturesSent >= 30; }, 60s));
        graph->RemoveOutput(&output);
        output.stop();
        sent = output.counters().picturesSent;
    }
    ::unsetenv("SSL_CERT_FILE");
    EXPECT_EQ(states.text(), "connecting live stopped(requested) ");
    EXPECT_EQ(relay.handshakes(), 1) << "the refused handshake is not counted";
    const std::string recording = server.recordingOf(kKey);
    EXPECT_TRUE(
        eventually([&] { return countVideoFrames(recording) == static_cast<int>(sent); }, 20s))
        << countVideoFrames(recording) << " pictures at the server, " << sent << " sent";
}

TEST_F(LiveStreamTest, AnSrtListenerTakesItsPassphraseAndRefusesAWrongOneOnce) {
    const int port = unusedLocalPort();
    const std::string address = "srt://127.0.0.1:" + std::to_string(port);
    ScratchDir dir;
    const std::string received = dir.file("received.ts");
    ChildProcess listener;
    ASSERT_TRUE(listener.spawn(
        "/usr/bin/ffmpeg", {"-v", "quiet", "-nostdin", "-y", "-i",
                            address + "?mode=listener&passphrase=theRightPassphrase1", "-c", "copy",
                            "-f", "mpegts", received}));
    OutputMode mode = graph->Mode();
    LiveStreamOutput output(mode.width, mode.height, mode.frameRate);
    // An SRT caller is through once it has sent: the graph runs first.
    graph->AddOutput(&output);
    ASSERT_EQ(graph->Start(), 0);

    // The listener may still be starting: tries that find nobody say so;
    // once it is up, the wrong passphrase is refused as such.
    std::unique_ptr<StateLog> wrong;
    ASSERT_TRUE(eventually(
        [&] {
            output.stop();
            wrong = std::make_unique<StateLog>();
            EXPECT_TRUE(output.start(address, "theWrongPassphrase2", wrong.get()));
            EXPECT_TRUE(wrong->waitFor(LiveState::Stopped)) << wrong->text();
            return output.stopReason() != LiveStopReason::ConnectionRefused;
        },
        30s));
    EXPECT_EQ(output.stopReason(), LiveStopReason::KeyRefused);
    EXPECT_EQ(wrong->text(), "connecting stopped(key refused) ") << "refused once, not tried again";

    StateLog right;
    output.stop();
    ASSERT_TRUE(output.start(address, "theRightPassphrase1", &right));
    ASSERT_TRUE(right.waitFor(LiveState::Live)) << right.text();
    ASSERT_TRUE(eventually([&] { return output.counters().picturesSent >= 30; }, 60s));
    graph->RemoveOutput(&output);
    output.stop();
    EXPECT_EQ(right.text(), "connecting live stopped(requested) ");
    // The listener's input ends with the caller's connection; what it got
    // decrypted into pictures.
    EXPECT_EQ(listener.wait(20s), 0);
    auto streams = probeStreams(received);
    EXPECT_TRUE(std::any_of(streams.begin(), streams.end(), [](const ProbedStream& s) {
        return s.type == "video" && s.codec == "h264" && s.width == 640;
    })) << received;
}

TEST_F(LiveStreamTest, StoppingWhileLiveEndsTheStreamCleanlyWithEveryPictureSentAtTheServer) {
    OutputMode mode = graph->Mode();
    uint64_t sent = 0;
    {
        LiveStreamOutput output(mode.width, mode.height, mode.frameRate);
        ASSERT_TRUE(output.start(server.address(), kKey, &states));
        graph->AddOutput(&output);
        ASSERT_EQ(graph->Start(), 0);
        ASSERT_TRUE(states.waitFor(LiveState::Live)) << states.text() << "\n" << server.log();
        ASSERT_TRUE(eventually([&] { return output.counters().picturesSent >= 45; }, 60s));
        // What the program does when it quits while live.
        graph->RemoveOutput(&output);
        output.stop();
        sent = output.counters().picturesSent;
    }
    EXPECT_EQ(states.text(), "connecting live stopped(requested) ");
    // The server, still running, closes the recording because the stream
    // told it the stream ended; every picture that reached the encoder is
    // in it, and it reads to its end without an error.
    const std::string recording = server.recordingOf(kKey);
    ASSERT_TRUE(
        eventually([&] { return countVideoFrames(recording) == static_cast<int>(sent); }, 20s))
        << countVideoFrames(recording) << " pictures at the server, " << sent << " sent\n"
        << server.log();
    EXPECT_EQ(commandOutput("ffmpeg -v error -nostdin -i '" + recording + "' -f null - 2>&1"), "");
    EXPECT_TRUE(server.running());
}
