#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "libs/recorder/encoded_feed.h"
#include "libs/recorder/flv_file_writer.h"
#include "libs/recorder/flv_repair.h"
#include "libs/recorder/live_encoder.h"
#include "tests/libs/recorder/encoded_flv_checks.h"
#include "tests/libs/recorder/flash_live_settings.h"
#include "tests/support/eventually.h"
#include "tests/support/flash_and_click.h"
#include "tests/support/media_probe.h"
#include "tests/support/test_media.h"

// The FLV file a recording beside a live stream writes by itself: read back
// by ffprobe as a whole, while it is still being written, and when the disk
// stalls or fills up.

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {
constexpr size_t kRoom = 1u << 20;
constexpr std::chrono::milliseconds kDeadline{20000};

// Hands `count` grey pictures (a different grey each) at the settings' rate.
void handPictures(LiveEncoder& encoder, int count) {
    const LiveSettings& settings = encoder.settings();
    std::vector<uint8_t> picture(static_cast<size_t>(settings.width) * settings.height * 3);
    const auto step = std::chrono::nanoseconds(1'000'000'000 / settings.frameRate);
    auto next = Clock::now();
    for (int i = 0; i < count; ++i) {
        std::fill(picture.begin(), picture.end(), static_cast<uint8_t>(40 + (i * 7) % 180));
        encoder.handPicture(picture.data(), picture.size());
        next += step;
        std::this_thread::sleep_until(next);
    }
}

// What a killed process would leave: the file as it is now, repaired.
int picturesOnDiskNow(const std::string& file, const std::string& copy) {
    fs::copy_file(file, copy, fs::copy_options::overwrite_existing);
    repairFlvTail(copy);
    return countVideoFrames(copy);
}

// Made-up encoded data with the caps a writer needs: what it writes is
// checked by the bytes, not by a decoder.
struct FakeStream {
    GstCaps* pictureCaps = nullptr;

    FakeStream() {
        gst_init(nullptr, nullptr);
        const uint8_t avcC[] = {1, 0x42, 0xC0, 0x1E, 0xFF, 0xE0};
        GstBuffer* record = gst_buffer_new_memdup(avcC, sizeof avcC);
        pictureCaps =
            gst_caps_new_simple("video/x-h264", "codec_data", GST_TYPE_BUFFER, record, nullptr);
        gst_buffer_unref(record);
    }
    ~FakeStream() { gst_caps_unref(pictureCaps); }
    FakeStream(const FakeStream&) = delete;
    FakeStream& operator=(const FakeStream&) = delete;

    // Every picture a key frame, so that none depends on one left out.
    void push(FlvFileWriter& writer, int index, size_t bytes) {
        GstBuffer* buffer = gst_buffer_new_allocate(nullptr, bytes, nullptr);
        gst_buffer_memset(buffer, 0, static_cast<uint8_t>(index), bytes);
        GST_BUFFER_PTS(buffer) = index * GST_SECOND / 15;
        writer.push(true, buffer, pictureCaps);
    }
};
}  // namespace

TEST(FlvFileWriterTest, TheFileHoldsEveryPictureAndTheSoundAndReachesTheDiskAsItGoes) {
    ScratchDir dir;
    const std::string file = dir.file("beside.flv");
    const LiveSettings settings = flashLiveSettings(FlashPlan{});
    LiveEncoder encoder;
    std::string problem;
    ASSERT_TRUE(encoder.start(settings, &problem)) << problem;
    FlvFileWriter writer(8u << 20);
    ASSERT_TRUE(writer.open(file, true));
    writer.describe(settings.width, settings.height, settings.frameRate);
    EncodedFeed feed(writer, 4u << 20, 256u << 10);
    ClickingMicrophone microphone(
        [&](const uint8_t* data, int bytes) { encoder.pushSound(data, bytes); }, kFlashSampleRate,
        kFlashChannels, kFlashBlockFrames);
    microphone.start(Clock::now());
    encoder.attach(&feed);

    // The pictures reach the file while it is still open, in a form that
    // plays.
    handPictures(encoder, 30);
    ASSERT_TRUE(encoder.waitForPictures(std::chrono::seconds(10)));
    int onDisk = 0;
    eventually(
        [&] {
            onDisk = picturesOnDiskNow(file, dir.file("snapshot.flv"));
            return onDisk >= static_cast<int>(feed.picturesTaken());
        },
        kDeadline);
    EXPECT_GT(feed.picturesTaken(), 0u);
    EXPECT_EQ(onDisk, static_cast<int>(feed.picturesTaken())) << "on disk before the end";

    handPictures(encoder, 30);
    ASSERT_TRUE(encoder.waitForPictures(std::chrono::seconds(10)));
    encoder.detach(&feed);
    microphone.stop();
    ASSERT_TRUE(writer.finish(std::chrono::seconds(10)));
    encoder.finish();

    EXPECT_EQ(writer.picturesLeftOut(), 0u);
    EXPECT_EQ(feed.picturesLeftOut(), 0u);
    expectWholeEncodedFlv(file, static_cast<int>(feed.picturesTaken()));
}

// A few small pictures, far less than the writer gathers for a write, still
// reach the disk before the file ends: a process killed then keeps them.
TEST(FlvFileWriterTest, AFewPicturesReachTheDiskWithoutWaitingForMore) {
    ScratchDir dir;
    const std::string file = dir.file("few.flv");
    FakeStream stream;
    FlvFileWriter writer(kRoom);
    ASSERT_TRUE(writer.open(file, false));
    for (int i = 0; i < 3; ++i) {
        stream.push(writer, i, 1000);
    }
    FlvRepairResult onDisk;
    eventually(
        [&] {
            fs::copy_file(file, dir.file("copy.flv"), fs::copy_options::overwrite_existing);
            onDisk = repairFlvTail(dir.file("copy.flv"));
            return onDisk.tags >= 4;
        },
        kDeadline);
    EXPECT_EQ(onDisk.tags, 4) << "the picture header and three pictures, before the end";
    EXPECT_EQ(onDisk.lastTimestampMs, 133);
    EXPECT_TRUE(writer.finish(std::chrono::seconds(10)));
}

// A reader that never reads stands for a disk that stalls: pushing goes on,
// what does not fit is left out, and finishing gives up after its limit.
TEST(FlvFileWriterTest, AStalledDiskHoldsUpNeitherThePushesNorTheEnd) {
    ScratchDir dir;
    const std::string pipe = dir.file("stalled.flv");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const int reader = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    FakeStream stream;
    {
        FlvFileWriter writer(kRoom);
        ASSERT_TRUE(writer.open(pipe, false));
        uint64_t mostWaiting = 0;
        for (int i = 0; i < 200; ++i) {  // 10 MB against a pipe of 64 KiB
            stream.push(writer, i, 50'000);
            mostWaiting = std::max(mostWaiting, writer.videoBytesWaiting());
        }
        EXPECT_LE(mostWaiting, 2 * kRoom) << "held beyond the writer's room";
        EXPECT_GT(writer.picturesLeftOut(), 150u);
        EXPECT_FALSE(writer.finish(std::chrono::milliseconds(100))) << "the disk never took it";
    }
    // Once the disk moves again, the writer left behind writes out what it
    // held and closes the file, which then holds whole tags only.
    std::string arrived;
    const auto until = Clock::now() + kDeadline;
    char chunk[65536];
    ssize_t got = 0;
    while (Clock::now() < until) {
        pollfd ready{reader, POLLIN, 0};
        ::poll(&ready, 1, 100);
        got = ::read(reader, chunk, sizeof chunk);
        if (got == 0) {
            break;
        }
        if (got > 0) {
            arrived.append(chunk, static_cast<size_t>(got));
        }
    }
    ::close(reader);
    EXPECT_EQ(got, 0) << "the file was closed";
    const std::string copy = dir.file("arrived.flv");
    std::ofstream(copy, std::ios::binary) << arrived;
    const FlvRepairResult result = repairFlvTail(copy);
    EXPECT_TRUE(result.isFlv);
    EXPECT_EQ(result.bytesCut, 0);
    EXPECT_GE(result.tags, 2) << "the picture header and at least one picture";
}

TEST(FlvFileWriterTest, AFullDiskEndsTheFileAndKeepsWhatWasWritten) {
    FlvFileWriter nowhere(kRoom);
    EXPECT_FALSE(nowhere.open("/dev/full", true)) << "not even the header fits";
    EXPECT_FALSE(nowhere.open("/nonexistent-folder/x.flv", true));

    ScratchDir dir;
    const std::string file = dir.file("full.flv");
    FakeStream stream;
    FlvFileWriter writer(kRoom);
    ASSERT_TRUE(writer.open(file, false));
    // The file may not grow past 200 kB, as a disk that fills up.
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    ::getrlimit(RLIMIT_FSIZE, &previous);
    rlimit tight = previous;
    tight.rlim_cur = 200'000;
    ::setrlimit(RLIMIT_FSIZE, &tight);
    // 400 kB, in the writer's room: twice what the disk takes.
    int pushed = 0;
    while (pushed < 40) {
        stream.push(writer, pushed++, 10'000);
    }
    const bool failed = eventually([&] { return writer.failed(); }, kDeadline);
    const uint64_t leftOutAtFailure = writer.picturesLeftOut();
    stream.push(writer, pushed++, 10'000);
    const bool finished = writer.finish(std::chrono::seconds(10));
    ::setrlimit(RLIMIT_FSIZE, &previous);

    ASSERT_TRUE(failed) << "the failed write is told";
    EXPECT_GT(writer.picturesLeftOut(), leftOutAtFailure) << "nothing more taken";
    EXPECT_FALSE(finished);
    const FlvRepairResult result = repairFlvTail(file);
    EXPECT_TRUE(result.isFlv);
    EXPECT_GE(result.tags, 10) << "what reached the disk stays";
    EXPECT_LE(fs::file_size(file), 200'000u);
}
