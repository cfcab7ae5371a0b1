#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <cstring>
#include <fstream>

#include "channel/channel_names.h"
#include "channel/sfm_client.h"
#include "channel/sfm_server.h"
#include "channel/vcam_reader.h"
#include "channel/virtual_camera_server.h"
#include "tests/channel/picture_report.h"
#include "tests/support/child_process.h"
#include "tests/support/log_capture.h"
#include "tests/support/runtime_dir.h"
#include "tests/support/test_frames.h"

namespace {
std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

template <typename T>
T at(const std::vector<uint8_t>& bytes, size_t offset) {
    T value;
    std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}

std::vector<uint8_t> frame24(uint8_t seed) { return dropFourthByte(makePatternFrame32(seed)); }

int writerNumber(const VirtualCameraServer& server) {
    return std::stoi(std::string(server.header().bufferName).substr(21));
}
}  // namespace

TEST(VCamChannelTest, HeaderBytesSitAtTheirOffsetsAndTheFrameFollows) {
    ScopedRuntimeDir runtime;
    VirtualCameraServer server;
    ASSERT_TRUE(server.start(640, -480));
    std::string blockPath = runtime.file(kVCamBlockName);

    auto block = readFile(blockPath);
    ASSERT_EQ(block.size(), 921744u);
    EXPECT_EQ(block, std::vector<uint8_t>(921744, 0)) << "nothing is written before a frame";
    struct stat info {};
    ASSERT_EQ(stat(blockPath.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    ASSERT_EQ(stat(runtime.file(kVCamMutexName).c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);

    auto picture = frame24(7);
    server.writeFrame(picture.data(), picture.size());
    block = readFile(blockPath);
    EXPECT_EQ(at<uint16_t>(block, 0), 1);
    EXPECT_EQ(at<int16_t>(block, 2), 640);
    EXPECT_EQ(at<int16_t>(block, 4), 480) << "height is stored positive";
    EXPECT_EQ(at<uint16_t>(block, 6), 0);
    EXPECT_EQ(at<uint32_t>(block, 8), 921600u);
    EXPECT_EQ(at<uint32_t>(block, 12), 1u) << "the first frame carries sequence 1";
    std::string name(reinterpret_cast<const char*>(block.data() + 16));
    EXPECT_EQ(name, "FileMapKvtRpmca5eab82" + std::to_string(writerNumber(server)));
    for (size_t offset = 16 + name.size(); offset < 144; ++offset) {
        EXPECT_EQ(block[offset], 0) << "at offset " << offset;
    }
    EXPECT_TRUE(std::equal(picture.begin(), picture.end(), block.begin() + 144));

    auto second = frame24(8);
    server.writeFrame(second.data(), second.size());
    block = readFile(blockPath);
    EXPECT_EQ(at<uint32_t>(block, 12), 2u);
    EXPECT_TRUE(std::equal(second.begin(), second.end(), block.begin() + 144));

    server.stop();
    EXPECT_NE(access(blockPath.c_str(), F_OK), 0) << "stop removes the block";
    EXPECT_NE(access(runtime.file(kVCamMutexName).c_str(), F_OK), 0);
}

TEST(VCamChannelTest, StartRulesAndTheWriterCounter) {
    ScopedRuntimeDir runtime;
    VirtualCameraServer first;
    ASSERT_TRUE(first.start(640, 480));
    int number = writerNumber(first);
    VCamHeader before = first.header();
    EXPECT_FALSE(first.start(320, 240)) << "a second start is refused";
    EXPECT_EQ(std::memcmp(&before, &first.header(), sizeof before), 0);
    first.stop();

    // A negative height makes the same block as the positive one.
    VirtualCameraServer flipped;
    ASSERT_TRUE(flipped.start(641, -3));
    EXPECT_EQ(writerNumber(flipped), number + 1);
    EXPECT_EQ(flipped.header().height, 3);
    EXPECT_EQ(flipped.header().imageSize, 1924u * 3u);
    EXPECT_EQ(readFile(runtime.file(kVCamBlockName)).size(), 1924u * 3u + 144u);
    // More bytes than the frame area are never written.
    std::vector<uint8_t> tooLong(1924 * 3 + 1, 0xAB);
    flipped.writeFrame(tooLong.data(), tooLong.size());
    EXPECT_EQ(at<uint32_t>(readFile(runtime.file(kVCamBlockName)), 12), 0u);
    flipped.stop();

    // A failed start still uses a number.
    LogCapture log;
    setenv("XDG_RUNTIME_DIR", "/nonexistent/lumora", 1);
    VirtualCameraServer failing;
    EXPECT_FALSE(failing.start(640, 480));
    EXPECT_FALSE(failing.isStarted());
    EXPECT_EQ(log.lines(),
              (std::vector<std::string>{"virtual camera server open virtual map file failed!!",
                                        "virtual camera server failed!"}));
    setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
    VirtualCameraServer next;
    ASSERT_TRUE(next.start(640, 480));
    EXPECT_EQ(writerNumber(next), number + 3);
    auto picture = frame24(1);
    failing.writeFrame(picture.data(), picture.size());  // skipped silently
}

TEST(VCamChannelTest, SharedMemoryWrapperDefaultsAndLifetime) {
    ScopedRuntimeDir runtime;
    CSFMServer server;
    server.create(nullptr, 0);
    ASSERT_NE(server.view(), nullptr);
    EXPECT_EQ(server.size(), 65536u);
    EXPECT_EQ(server.name(), "_SFM_OBJ_");
    std::memcpy(server.view(), "hello", 5);

    CSFMClient client;
    client.open(nullptr);
    ASSERT_NE(client.view(), nullptr);
    EXPECT_EQ(client.size(), 65536u);
    server.close();
    EXPECT_NE(access(runtime.file("_SFM_OBJ_").c_str(), F_OK), 0);
    // The reader's mapping outlives the name, as an open handle would.
    EXPECT_EQ(std::memcmp(client.view(), "hello", 5), 0);
    client.open(nullptr);
    EXPECT_EQ(client.view(), nullptr);
    EXPECT_EQ(client.lastError(), ENOENT);
}

TEST(VCamChannelTest, FilesThatAreNotPrivateToUsAreNeverUsed) {
    ScopedRuntimeDir runtime;
    LogCapture log;
    VirtualCameraServer server;
    ASSERT_TRUE(server.start(640, 480));
    auto picture = frame24(3);
    server.writeFrame(picture.data(), picture.size());

    // A block that others could read.
    chmod(runtime.file(kVCamBlockName).c_str(), 0644);
    VCamReader reader;
    reader.poll();
    EXPECT_FALSE(reader.isOpen());
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"vcam box pin, client buffer open failed " +
                                                     std::to_string(EACCES)}));
    chmod(runtime.file(kVCamBlockName).c_str(), 0600);

    // A mutex that others could lock.
    log.clear();
    chmod(runtime.file(kVCamMutexName).c_str(), 0660);
    for (int poll = 0; poll < 5; ++poll) {
        reader.poll();  // the fifth poll after the last attempt tries again
    }
    EXPECT_FALSE(reader.isOpen());
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"vcam box pin , client  open mutex failed! " +
                                                     std::to_string(EACCES)}));
    server.stop();

    // A writer meeting such a mutex refuses to start.
    log.clear();
    std::ofstream(runtime.file(kVCamMutexName)) << "not ours";
    chmod(runtime.file(kVCamMutexName).c_str(), 0644);
    VirtualCameraServer second;
    EXPECT_FALSE(second.start(640, 480));
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"virtual camera server create mutex failed!!",
                                                     "virtual camera server failed!"}));
    EXPECT_NE(access(runtime.file(kVCamBlockName).c_str(), F_OK), 0) << "released on failure";

    if (geteuid() == 0) {
        // Mode 0600 but another user's: refused just the same.
        chmod(runtime.file(kVCamMutexName).c_str(), 0600);
        ASSERT_EQ(chown(runtime.file(kVCamMutexName).c_str(), 65534, 65534), 0);
        NamedMutex mutex;
        EXPECT_EQ(mutex.open(kVCamMutexName), EACCES);
        EXPECT_EQ(mutex.create(kVCamMutexName), EACCES);
    }
}

TEST(VCamChannelTest, AReaderInAnotherProcessSeesEveryFrameOfTheWriter) {
    ScopedRuntimeDir runtime;
    VirtualCameraServer server;
    ASSERT_TRUE(server.start(640, 480));
    auto first = frame24(1);
    server.writeFrame(first.data(), first.size());

    ChildProcess reader;
    ASSERT_TRUE(reader.fork([](int out) { return reportNewPictures(out, 3); }));
    auto checksum = [](const std::vector<uint8_t>& bytes) {
        return std::to_string(pictureChecksum(bytes.data(), bytes.size()));
    };
    std::string line;
    ASSERT_TRUE(reader.readLine(&line));
    EXPECT_EQ(line, "1 640x480@15 " + checksum(first));
    auto second = frame24(2), third = frame24(3);
    server.writeFrame(second.data(), second.size());
    ASSERT_TRUE(reader.readLine(&line));
    EXPECT_EQ(line, "2 640x480@15 " + checksum(second));
    server.writeFrame(third.data(), third.size());
    ASSERT_TRUE(reader.readLine(&line));
    EXPECT_EQ(line, "3 640x480@15 " + checksum(third));
    EXPECT_EQ(reader.wait(), 0);
}

TEST(VCamChannelTest, AWriterInAnotherProcessFeedsAReaderHere) {
    ScopedRuntimeDir runtime;
    ChildProcess writer;
    ASSERT_TRUE(writer.fork([](int out) {
        VirtualCameraServer server;
        if (!server.start(640, 480)) {
            return 1;
        }
        for (uint8_t seed = 1; seed <= 3; ++seed) {
            auto picture = dropFourthByte(makePatternFrame32(seed));
            server.writeFrame(picture.data(), picture.size());
            writeAll(out, "wrote\n");
            usleep(100000);  // the reader polls every 10 ms and sees each frame
        }
        writeAll(out, "done\n");
        usleep(300000);
        return 0;
    }));
    std::string line;
    ASSERT_TRUE(writer.readLine(&line));
    VCamReader reader;
    std::vector<uint32_t> seen;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (seen.size() < 3 && std::chrono::steady_clock::now() < deadline) {
        reader.poll();
        int width, height;
        uint32_t size;
        const uint8_t* frame = reader.acquireFrame(&width, &height, &size);
        uint32_t sequence = reader.header().sequence;
        if (frame != nullptr && (seen.empty() || seen.back() != sequence)) {
            seen.push_back(sequence);
            auto expected = frame24(static_cast<uint8_t>(sequence));
            EXPECT_TRUE(std::equal(expected.begin(), expected.end(), frame))
                << "frame " << sequence;
        }
        reader.release();
        usleep(10000);
    }
    EXPECT_EQ(seen, (std::vector<uint32_t>{1, 2, 3}));
    EXPECT_EQ(writer.wait(), 0);
}

TEST(VCamChannelTest, AReaderKilledWhileHoldingTheMutexDoesNotStopTheWriter) {
    ScopedRuntimeDir runtime;
    VirtualCameraServer server;
    ASSERT_TRUE(server.start(640, 480));
    auto picture = frame24(4);
    server.writeFrame(picture.data(), picture.size());

    ChildProcess reader;
    ASSERT_TRUE(reader.fork([](int out) {
        VCamReader channel;
        channel.poll();  // now holds the mutex, and never releases it
        writeAll(out, channel.isOpen() ? "holding\n" : "closed\n");
        pause();
        return 0;
    }));
    std::string line;
    ASSERT_TRUE(reader.readLine(&line));
    ASSERT_EQ(line, "holding");

    // While the reader holds it, a write gives up after its 1000 ms wait.
    auto started = std::chrono::steady_clock::now();
    server.writeFrame(picture.data(), picture.size());
    auto waited = std::chrono::steady_clock::now() - started;
    EXPECT_GE(waited, std::chrono::milliseconds(990));
    EXPECT_LT(waited, std::chrono::seconds(5));
    EXPECT_EQ(at<uint32_t>(readFile(runtime.file(kVCamBlockName)), 12), 1u) << "frame skipped";

    reader.signal(SIGKILL);
    EXPECT_EQ(reader.wait(), 128 + SIGKILL);
    auto next = frame24(5);
    started = std::chrono::steady_clock::now();
    server.writeFrame(next.data(), next.size());
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));
    auto block = readFile(runtime.file(kVCamBlockName));
    EXPECT_EQ(at<uint32_t>(block, 12), 2u);
    EXPECT_TRUE(std::equal(next.begin(), next.end(), block.begin() + 144));
}
