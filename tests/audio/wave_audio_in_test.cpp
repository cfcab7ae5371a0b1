#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>

#include "audio/wave_audio_in.h"
#include "tests/support/child_process.h"
#include "tests/support/eventually.h"

namespace {
class CountingSink : public WaveAudioSink {
public:
    void OnWaveData(int message, const uint8_t*, int size) override {
        if (message == WAVE_DATA_MESSAGE && size == WaveAudioIn::kBufferSize) {
            ++buffers;
        }
    }
    std::atomic<int> buffers{0};
};
}  // namespace

TEST(WaveAudioInTest, FormatRules) {
    WaveAudioIn capture;
    WaveFormat format{};
    EXPECT_FALSE(capture.GetWaveFormat(&format)) << "only while open";
    EXPECT_TRUE(capture.SetWaveFormat(2, 44100, 16));
    ASSERT_TRUE(capture.Open(-1));
    ASSERT_TRUE(capture.GetWaveFormat(&format));
    EXPECT_EQ(format.formatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(format.channels, 2);
    EXPECT_EQ(format.samplesPerSec, 44100u);
    EXPECT_EQ(format.bitsPerSample, 16);
    EXPECT_EQ(format.blockAlign, 4);
    EXPECT_EQ(format.avgBytesPerSec, 176400u);
    EXPECT_EQ(format.cbSize, 0);
    EXPECT_FALSE(capture.SetWaveFormat(1, 8000, 8)) << "refused while open";
    ASSERT_TRUE(capture.GetWaveFormat(&format));
    EXPECT_EQ(format.channels, 2) << "and unchanged";
    EXPECT_TRUE(capture.Close());

    WaveAudioIn fresh;
    EXPECT_TRUE(fresh.Open(-1));
    fresh.GetWaveFormat(&format);
    EXPECT_EQ(format.channels, 1) << "a new capture is mono";
    EXPECT_EQ(format.samplesPerSec, 8000u);
    EXPECT_EQ(format.bitsPerSample, 8);
    EXPECT_EQ(format.blockAlign, 1);
}

TEST(WaveAudioInTest, ClosedCapturesAndCallbackTypes) {
    WaveAudioIn capture(2, 44100, 16);
    EXPECT_FALSE(capture.IsOpen());
    EXPECT_FALSE(capture.Stop()) << "nothing to stop";
    EXPECT_TRUE(capture.Pause()) << "nothing to pause is fine";
    EXPECT_FALSE(capture.Start());
    int anything = 0;
    EXPECT_FALSE(capture.SetCallback(&anything, 0));
    EXPECT_FALSE(capture.SetCallback(&anything, 3));
    EXPECT_FALSE(capture.SetCallback(nullptr, 1));
    EXPECT_TRUE(capture.SetCallback(&anything, 2));
    EXPECT_EQ(capture.GetCallbackType(), 2);
    EXPECT_TRUE(capture.IsStopAddBuffer());
    EXPECT_FALSE(capture.Open(std::string("no such microphone")));
    EXPECT_FALSE(capture.Open(99)) << "no source with that number";
}

TEST(WaveAudioInTest, EveryBufferOnceAtTheSourcesRealTimeRate) {
    WaveAudioIn capture(2, 44100, 16);
    CountingSink sink;
    capture.SetSink(&sink);
    ASSERT_TRUE(capture.Open(-1));
    ASSERT_TRUE(capture.Start());
    EXPECT_FALSE(capture.IsStopAddBuffer());
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // the stream settles
    int before = sink.buffers;
    auto started = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(3));
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    int counted = sink.buffers - before;
    double expected = 176400.0 * seconds / WaveAudioIn::kBufferSize;
    EXPECT_NEAR(counted, expected, expected * 0.05);

    EXPECT_TRUE(capture.Pause());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    int paused = sink.buffers;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_LE(sink.buffers - paused, 1) << "a paused capture delivers nothing";
    EXPECT_TRUE(capture.Mute(false));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_GT(sink.buffers - paused, 3) << "and resumes";

    EXPECT_TRUE(capture.Stop());
    EXPECT_TRUE(capture.IsStopAddBuffer());
    int stopped = sink.buffers;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(sink.buffers, stopped);
    EXPECT_TRUE(capture.Close());
    EXPECT_FALSE(capture.IsOpen());
}

TEST(WaveAudioInTest, OpensASourceByItsDescription) {
    WaveAudioIn capture(2, 44100, 16);
    EXPECT_TRUE(capture.Open(std::string("Sine source at 440 Hz")));
    EXPECT_TRUE(capture.IsOpen());
}

// A microphone that goes away between opening and starting: the start fails,
// and once it is back a new start really captures (no dead stream kept
// reporting success).
TEST(WaveAudioInTest, AFailedStartLeavesNoDeadStreamBehind) {
    const std::string load =
        "pactl load-module module-null-sink sink_name=lumora_vanishing "
        "sink_properties=device.description=VanishingMic";
    std::string module = commandOutput(load);
    ASSERT_FALSE(module.empty()) << "the test sound server loads a sink";
    WaveAudioIn capture(2, 44100, 16);
    CountingSink sink;
    capture.SetSink(&sink);
    ASSERT_TRUE(capture.Open(std::string("Monitor of VanishingMic")));

    std::system(("pactl unload-module " + module).c_str());
    EXPECT_FALSE(capture.Start()) << "its source is gone";

    module = commandOutput(load);
    ASSERT_FALSE(module.empty());
    EXPECT_TRUE(capture.Start());
    EXPECT_TRUE(eventually([&] { return sink.buffers.load() >= 3; }, std::chrono::seconds(5)))
        << "the new start captures";
    capture.Close();
    std::system(("pactl unload-module " + module).c_str());
}
