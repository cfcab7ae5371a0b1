#include <gtest/gtest.h>
#include <signal.h>

#include <cstring>
#include <fstream>

#include "channel/channel_names.h"
#include "channel/vcam_reader.h"
#include "channel/virtual_camera_server.h"
#include "tests/channel/picture_report.h"
#include "tests/support/child_process.h"
#include "tests/support/log_capture.h"
#include "tests/support/runtime_dir.h"
#include "tests/support/test_frames.h"

namespace {
// A writer in a process of its own: starts, writes `frames` frames, says
// "ready", then stays until it is told to stop with SIGTERM (a clean stop).
void startWriter(ChildProcess& child, int frames) {
    ASSERT_TRUE(child.fork([frames](int out) {
        static volatile sig_atomic_t stop = 0;
        signal(SIGTERM, [](int) { stop = 1; });
        VirtualCameraServer server;
        if (!server.start(640, 480)) {
            return 1;
        }
        auto picture = dropFourthByte(makePatternFrame32(9));
        for (int i = 0; i < frames; ++i) {
            server.writeFrame(picture.data(), picture.size());
        }
        writeAll(out, "ready\n");
        while (!stop) {
            usleep(1000);
        }
        server.stop();
        return 0;
    }));
    std::string line;
    ASSERT_TRUE(child.readLine(&line));
    ASSERT_EQ(line, "ready");
}

// One poll-acquire-release round; returns the sequence read, or -1.
long long readOnce(VCamReader& reader) {
    reader.poll();
    int width, height;
    uint32_t size;
    const uint8_t* frame = reader.acquireFrame(&width, &height, &size);
    long long sequence = frame != nullptr ? static_cast<long long>(reader.header().sequence) : -1;
    reader.release();
    return sequence;
}
}  // namespace

TEST(VCamReaderTest, WithoutAWriterItRetriesSilentlyOnPollsOneSixEleven) {
    ScopedRuntimeDir runtime;
    LogCapture log;
    {
        VCamReader reader;
        reader.poll();  // poll 1 tries and finds nothing
        ChildProcess writer;
        startWriter(writer, 1);
        for (int poll = 2; poll <= 5; ++poll) {
            reader.poll();
            EXPECT_FALSE(reader.isOpen()) << "poll " << poll << " must not try";
        }
        reader.poll();  // poll 6
        EXPECT_TRUE(reader.isOpen());
        reader.release();
        writer.signal(SIGTERM);
        EXPECT_EQ(writer.wait(), 0);
    }
    {
        VCamReader reader;
        for (int poll = 1; poll <= 6; ++poll) {
            reader.poll();
        }
        ChildProcess writer;
        startWriter(writer, 1);
        for (int poll = 7; poll <= 10; ++poll) {
            reader.poll();
            EXPECT_FALSE(reader.isOpen()) << "poll " << poll << " must not try";
        }
        reader.poll();  // poll 11
        EXPECT_TRUE(reader.isOpen());
        reader.release();
        writer.signal(SIGTERM);
        EXPECT_EQ(writer.wait(), 0);
    }
    EXPECT_TRUE(log.lines().empty()) << log.lines().front();
}

TEST(VCamReaderTest, ClosesAfterFiftyRepeatsAndReopensWhenAWriterComesBack) {
    ScopedRuntimeDir runtime;
    LogCapture log;
    VCamReader reader;
    {
        ChildProcess writer;
        startWriter(writer, 1);
        EXPECT_EQ(readOnce(reader), 1);
        for (int repeat = 1; repeat <= 49; ++repeat) {
            EXPECT_EQ(readOnce(reader), 1);
        }
        EXPECT_TRUE(reader.isOpen()) << "49 repeats keep it open";
        EXPECT_EQ(reader.unchangedCount(), 49);

        // The writer goes away; the reader's own mapping still shows its last frame.
        writer.signal(SIGTERM);
        EXPECT_EQ(writer.wait(), 0);
        EXPECT_EQ(readOnce(reader), 1);
        EXPECT_FALSE(reader.isOpen()) << "the 50th repeat closes everything";
    }
    for (int poll = 0; poll < 12; ++poll) {
        EXPECT_EQ(readOnce(reader), -1);  // no mutex any more: closed, silent
    }
    EXPECT_FALSE(reader.isOpen());

    ChildProcess writer;
    startWriter(writer, 3);
    long long sequence = -1;
    for (int poll = 0; poll < 5 && sequence < 0; ++poll) {
        sequence = readOnce(reader);
    }
    EXPECT_EQ(sequence, 3) << "the new writer is found within five polls";
    writer.signal(SIGTERM);
    EXPECT_EQ(writer.wait(), 0);
    EXPECT_TRUE(log.lines().empty());
}

TEST(VCamReaderTest, AHeaderThatOverstatesTheBlockIsRefused) {
    ScopedRuntimeDir runtime;
    NamedMutex mutex;
    ASSERT_EQ(mutex.create(kVCamMutexName), 0);

    auto writeBlock = [&](const VCamHeader& header, size_t frameBytes) {
        std::string path = runtime.file(kVCamBlockName);
        std::vector<char> bytes(sizeof header + frameBytes, 0);
        std::memcpy(bytes.data(), &header, sizeof header);
        std::ofstream(path, std::ios::binary).write(bytes.data(), bytes.size());
        chmod(path.c_str(), 0600);
    };
    VCamHeader header{};
    header.state = 1;
    header.width = 640;
    header.height = 480;
    header.imageSize = 10'000'000;
    header.sequence = 7;
    writeBlock(header, 100);

    VCamReader reader;
    reader.poll();
    ASSERT_TRUE(reader.isOpen());
    int width = -1, height = -1;
    uint32_t size = 0;
    EXPECT_EQ(reader.acquireFrame(&width, &height, &size), nullptr);
    EXPECT_EQ(width, -1);
    reader.release();

    // A block shorter than its header is refused as well.
    std::ofstream(runtime.file(kVCamBlockName), std::ios::binary).write("short", 5);
    VCamReader shortReader;
    shortReader.poll();
    EXPECT_EQ(shortReader.acquireFrame(&width, &height, &size), nullptr);
    shortReader.release();

    // The same header with the bytes it promises is read.
    header.imageSize = 100;
    writeBlock(header, 100);
    VCamReader fresh;
    fresh.poll();
    EXPECT_NE(fresh.acquireFrame(&width, &height, &size), nullptr);
    EXPECT_EQ(size, 100u);
    fresh.release();
}

namespace {
std::vector<uint8_t> blockBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}
}  // namespace

// The writer changes the picture's size twice; a reader in another process
// follows each new block, and the block back at 640 x 480 is laid out as the
// one it started with.
TEST(VCamReaderTest, ABlockRecreatedAtAnotherSizeIsReadAtItsSizeAndRate) {
    ScopedRuntimeDir runtime;
    VirtualCameraServer server;
    ASSERT_TRUE(server.start(640, 480));
    std::string blockPath = runtime.file(kVCamBlockName);
    auto startBlock = blockBytes(blockPath);
    auto small = makePatternFrame24(640, 480, 1);
    server.writeFrame(small.data(), small.size());
    auto firstHeader = blockBytes(blockPath);
    firstHeader.resize(kVCamHeaderSize);

    ChildProcess reader;
    ASSERT_TRUE(reader.fork([](int out) { return reportNewPictures(out, 3); }));
    std::string line;
    ASSERT_TRUE(reader.readLine(&line));
    EXPECT_EQ(line, "1 640x480@15 " + std::to_string(pictureChecksum(small.data(), small.size())));

    ASSERT_TRUE(server.resize(1280, 720));
    server.setFrameRate(30);
    auto large = makePatternFrame24(1280, 720, 2);
    EXPECT_EQ(blockBytes(blockPath).size(), 1280u * 720u * 3u + kVCamHeaderSize);
    server.writeFrame(large.data(), large.size());
    ASSERT_TRUE(reader.readLine(&line));
    EXPECT_EQ(line, "2 1280x720@30 " + std::to_string(pictureChecksum(large.data(), large.size())));

    ASSERT_TRUE(server.resize(640, 480));
    server.setFrameRate(15);
    auto block = blockBytes(blockPath);
    EXPECT_EQ(block, startBlock) << "a new 640 x 480 block is as the first one was";
    auto again = makePatternFrame24(640, 480, 3);
    server.writeFrame(again.data(), again.size());
    ASSERT_TRUE(reader.readLine(&line));
    EXPECT_EQ(line, "3 640x480@15 " + std::to_string(pictureChecksum(again.data(), again.size())));
    EXPECT_EQ(reader.wait(), 0);

    // Byte for byte the header of a 640 x 480 picture at the standard rate,
    // but for the sequence number, which went on.
    block = blockBytes(blockPath);
    ASSERT_EQ(block.size(), 921744u);
    std::vector<uint8_t> header(block.begin(), block.begin() + kVCamHeaderSize);
    uint32_t three = 3;
    std::memcpy(firstHeader.data() + 12, &three, sizeof three);
    EXPECT_EQ(header, firstHeader);
    EXPECT_TRUE(std::equal(again.begin(), again.end(), block.begin() + kVCamHeaderSize));

    // Sizes the channel does not carry keep the block as it is.
    EXPECT_FALSE(server.resize(3840, 2160));
    EXPECT_FALSE(server.resize(0, 480));
    EXPECT_EQ(blockBytes(blockPath).size(), 921744u);
}
