// The v4l2loopback road in a real kernel (the test runs as root in a guest of
// its own, see tools/kernel-vm.sh): Debian's module loaded as the README
// says, Lumora's graph with a marker writing the channel, the real
// lumora-vcam feeding the devices, and the programs people use (ffmpeg,
// GStreamer's v4l2src, v4l2-ctl) reading them through V4L2.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/videodev2.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "engine/play_graph.h"
#include "outputs/vcam_output.h"
#include "sources/image_video_source.h"
#include "tests/support/child_process.h"
#include "tests/support/eventually.h"
#include "tests/support/runtime_dir.h"
#include "tests/support/test_media.h"
#include "tests/vcam/browser_marker.h"
#include "tests/vcam/loopback_consumer.h"
#include "tests/vcam/loopback_feed.h"
#include "tests/vcam/mode_feeder.h"
#include "vcam/loopback_device.h"

namespace {
using namespace std::chrono_literals;
using Kind = LoopbackConsumer::Kind;
namespace fs = std::filesystem;

// Marked numbers of the pictures a consumer reads until it has read sixty
// and seen `wanted` different ones, at most `limit` pictures (pictures without the marker are
// left out; the first failure to read ends it). A slow graph under an
// emulated processor makes a reader see each picture many times, so the
// count of pictures alone says nothing.
std::vector<uint32_t> markedNumbers(LoopbackConsumer& consumer, size_t wanted, int limit,
                                    double* worstError) {
    std::vector<uint32_t> numbers;
    std::set<uint32_t> different;
    std::vector<uint8_t> rgb;
    *worstError = 0;
    auto enough = [&] { return numbers.size() >= 60 && different.size() >= wanted; };
    for (int i = 0; i < limit && !enough() && consumer.read(&rgb); ++i) {
        double error = 0;
        if (auto number = markedNumber(rgb, 640, &error)) {
            numbers.push_back(*number);
            different.insert(*number);
            *worstError = std::max(*worstError, error);
        }
    }
    return numbers;
}

// Marked pictures come in order, each as the graph made it: every picture
// not seen before is newer than all seen so far, and the graph's pace shows
// in the numbers rising. Two exceptions are v4l2loopback 0.12's, not the
// writer's (its ring has two buffers and nothing keeps a writer off a
// buffer a reader has been handed):
// - a picture already shown may come once more after a newer one: a reader
//   that finds nothing new is handed a buffer again (GStreamer's reader
//   once showed 211 and then 210 under load);
// - a reader too slow for the writer may show a buffer after the writer has
//   filled it anew, so the newest picture comes first and the one from the
//   ring's other buffer after it (GStreamer showed 305, then 304). Such a
//   picture is still newer than every other one seen, and it is rare: a
//   writer that swapped pictures would make half of them late.
void expectInOrder(const std::vector<uint32_t>& numbers, double worstError, const std::string& who,
                   size_t different = 5) {
    ASSERT_GE(numbers.size(), 20u) << who;
    std::set<uint32_t> seen{numbers[0]};
    size_t late = 0;
    for (size_t i = 1; i < numbers.size(); ++i) {
        if (seen.insert(numbers[i]).second && numbers[i] != *seen.rbegin()) {
            ASSERT_EQ(*std::next(seen.find(numbers[i])), *seen.rbegin())
                << who << " picture " << i << " (" << numbers[i] << ") came after newer ones";
            ++late;
        }
    }
    EXPECT_GE(seen.size(), different) << who;
    EXPECT_LE(late * 4, seen.size()) << who << ": " << late << " pictures came after a newer one";
    EXPECT_LT(worstError, 40) << who << ": colours off";
}

// Whether a consumer reads a marked picture before the deadline (a graph
// or a consumer that has just started takes its time under an emulated
// processor).
bool readsMarked(LoopbackConsumer& consumer, std::chrono::seconds limit = 240s) {
    std::vector<uint8_t> rgb;
    auto deadline = std::chrono::steady_clock::now() + limit;
    int pictures = 0;
    while (std::chrono::steady_clock::now() < deadline && consumer.readNewest(&rgb)) {
        ++pictures;
        double error = 0;
        if (markedNumber(rgb, 640, &error)) {
            return true;
        }
    }
    std::fprintf(stderr, "no marked picture in %d pictures; the consumer %s\n", pictures,
                 consumer.alive() ? "runs" : "ended");
    return false;
}

// A device spent as old writers leave it: format set and a picture written
// without claiming the device, closed with no reader, then listed.
void spendDevice(const std::string& device) {
    int fd = ::open(device.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    v4l2_format format{};
    format.type = V4L2_BUF_TYPE_VIDEO_OUTPUT;
    format.fmt.pix = {640, 480, V4L2_PIX_FMT_YUYV, V4L2_FIELD_NONE, 1280, 614400, 0, 0, 0, 0, 0, 0};
    ASSERT_EQ(::ioctl(fd, VIDIOC_S_FMT, &format), 0);
    std::vector<uint8_t> picture(614400, 128);
    ASSERT_EQ(::write(fd, picture.data(), picture.size()), 614400);
    ::close(fd);
    offersCapture(device);  // a camera listing: the device now reports no role
}

bool acceptsFormat(const std::string& device) {
    int fd = ::open(device.c_str(), O_WRONLY);
    v4l2_capability capability{};
    ::ioctl(fd, VIDIOC_QUERYCAP, &capability);
    v4l2_format format{};
    format.type = V4L2_BUF_TYPE_VIDEO_OUTPUT;
    format.fmt.pix = {640, 480, V4L2_PIX_FMT_YUYV, V4L2_FIELD_NONE, 1280, 614400, 0, 0, 0, 0, 0, 0};
    bool accepted = ::ioctl(fd, VIDIOC_S_FMT, &format) == 0;
    ::close(fd);
    return accepted;
}
}  // namespace

// Two labelled devices fed by --auto; ffmpeg and GStreamer read one each at
// once, v4l2-ctl after them: every one gets Lumora's marked pictures in
// order, 640 x 480, colours right, top row first (the patches are found at
// the top).
TEST(LoopbackKernelTest, EveryConsumerReadsLumorasMarkedPicturesInOrder) {
    ScopedRuntimeDir runtime;
    auto devices = loadLabelledLoopback();
    ASSERT_EQ(devices.size(), 2u);
    MarkedGraph graph;
    ASSERT_TRUE(graph.started());
    VCamFeeder feeder({"--auto"});
    ASSERT_TRUE(eventually([&] { return capturing(devices[0]) && capturing(devices[1]); }, 30s))
        << feeder.messages();

    LoopbackConsumer ffmpeg(Kind::Ffmpeg, devices[0]);
    LoopbackConsumer gstreamer(Kind::GStreamer, devices[1]);
    double error = 0;
    auto numbers = markedNumbers(ffmpeg, 8, 1500, &error);
    expectInOrder(numbers, error, "ffmpeg");
    numbers = markedNumbers(gstreamer, 8, 1500, &error);
    expectInOrder(numbers, error, "GStreamer");
    ffmpeg.stop();
    gstreamer.stop();

    auto pictures = captureWithV4l2Ctl(devices[0], 60);
    ASSERT_EQ(pictures.size(), 60u);
    numbers.clear();
    error = 0;
    for (const auto& picture : pictures) {
        double one = 0;
        if (auto number = markedNumber(picture, 640, &one)) {
            numbers.push_back(*number);
            error = std::max(error, one);
        }
    }
    expectInOrder(numbers, error, "v4l2-ctl", 2);  // sixty pictures, however slow the graph
    EXPECT_TRUE(feeder.running()) << feeder.messages();
    EXPECT_EQ(feeder.messages().find("CreateMediaType"), std::string::npos)
        << "no debug output: " << feeder.messages();
}

// lumora-vcam ended and started again five times, with a camera listing
// between (as any program that looks for cameras does): alone, then with a
// program reading that stays through a stop and the next start, then alone
// again. Every start feeds the device.
TEST(LoopbackKernelTest, EveryStartFeedsTheDeviceWithOrWithoutAReader) {
    ScopedRuntimeDir runtime;
    auto devices = loadLabelledLoopback();
    ASSERT_EQ(devices.size(), 2u);
    MarkedGraph graph;
    ASSERT_TRUE(graph.started());
    std::unique_ptr<LoopbackConsumer> reader;
    for (int start = 0; start < 5; ++start) {
        VCamFeeder feeder({"--auto"});
        ASSERT_TRUE(eventually([&] { return capturing(devices[0]); }, 30s))
            << "start " << start << ": " << feeder.messages();
        if (start == 1) {
            reader = std::make_unique<LoopbackConsumer>(Kind::Ffmpeg, devices[0]);
        }
        if (reader) {
            EXPECT_TRUE(readsMarked(*reader)) << "start " << start << ": " << feeder.messages();
        } else {
            LoopbackConsumer once(Kind::GStreamer, devices[0]);
            EXPECT_TRUE(readsMarked(once)) << "start " << start << ": " << feeder.messages();
        }
        if (start == 2) {
            reader.reset();
        }
        EXPECT_EQ(feeder.stop(SIGTERM), 0) << "start " << start << ": " << feeder.messages();
        for (const auto& device : devices) {
            offersCapture(device);
        }
    }
}

// A device spent by a writer that never claimed it refuses every format
// until revived; lumora-vcam revives it without root's help and feeds it.
TEST(LoopbackKernelTest, ASpentDeviceIsRevived) {
    ScopedRuntimeDir runtime;
    auto devices = loadLabelledLoopback();
    ASSERT_EQ(devices.size(), 2u);
    spendDevice(devices[0]);
    ASSERT_FALSE(acceptsFormat(devices[0])) << "the old call sequence no longer spends a device";

    MarkedGraph graph;
    ASSERT_TRUE(graph.started());
    VCamFeeder feeder({"--auto"});
    ASSERT_TRUE(eventually([&] { return capturing(devices[0]); }, 30s)) << feeder.messages();
    LoopbackConsumer reader(Kind::Ffmpeg, devices[0]);
    EXPECT_TRUE(readsMarked(reader)) << feeder.messages();
    LoopbackConsumer other(Kind::Ffmpeg, devices[1]);
    EXPECT_TRUE(readsMarked(other)) << feeder.messages();
}

namespace {
constexpr FeedMode k480p{640, 480, 15};
constexpr FeedMode k720p{1280, 720, 30};
constexpr FeedMode k1080p{1920, 1080, 30};

std::optional<PictureSize> deviceSizeNow(const std::string& device) {
    auto size = loopbackCaptureSize(device);
    return size ? std::optional(PictureSize{size->first, size->second}) : std::nullopt;
}

// The mean of the colour bytes of rows [top, bottom) of an R, G, B picture.
double rowsBrightness(const std::vector<uint8_t>& rgb, int width, int top, int bottom) {
    size_t from = static_cast<size_t>(top) * width * 3;
    return meanBrightness(rgb.data() + from, static_cast<size_t>(bottom - top) * width * 3, 3);
}

std::string checkOf(const std::string& device) {
    return commandOutput(programBeside("lumora-vcam") + " --check --device " + device + " 2>&1");
}
}  // namespace

// The graph's mode changes 480p -> 720p -> 1080p -> 480p. With no program
// reading, the device takes each new size and a program opened then reads
// the feeder's pictures at it. With a program reading, the device keeps its
// size and the wider picture is letterboxed into it (black above and below),
// --check says so, and once the program lets go the device takes the size.
TEST(LoopbackKernelTest, ModeChangesTakeTheNewSizeWhenFreeAndLetterboxWhenHeld) {
    ScopedRuntimeDir runtime;
    auto devices = loadLabelledLoopback();
    ASSERT_EQ(devices.size(), 2u);
    const std::string device = devices[0];
    ModeFeeder modes({k480p, k720p, k1080p, k480p, k720p});
    ASSERT_TRUE(modes.started());
    VCamFeeder feeder({"--device", device});
    ASSERT_TRUE(eventually([&] { return capturing(device); }, 30s)) << feeder.messages();

    for (FeedMode mode : {k720p, k1080p, k480p}) {
        modes.nextMode();
        PictureSize size{mode.width, mode.height};
        ASSERT_TRUE(eventually([&] { return deviceSizeNow(device) == size; }, 30s))
            << mode.width << "x" << mode.height << ": " << feeder.messages();
        LoopbackConsumer reader(Kind::Ffmpeg, device, mode.width, mode.height);
        std::vector<uint8_t> rgb;
        bool marked = false;
        for (int i = 0; i < 30 && !marked && reader.read(&rgb); ++i) {
            marked = markerColumn(rgb.data(), mode.width, 3) >= 0;
        }
        EXPECT_TRUE(marked) << mode.width << "x" << mode.height;
    }

    // Held at 640 x 480 by a reader while the graph goes to 720p.
    LoopbackConsumer reader(Kind::Ffmpeg, device);
    std::vector<uint8_t> rgb;
    ASSERT_TRUE(reader.read(&rgb));
    modes.nextMode();
    bool letterboxed = false;
    for (int i = 0; i < 300 && !letterboxed && reader.read(&rgb); ++i) {
        // 1280 x 720 in 640 x 480: 60 black rows above and below the picture.
        letterboxed = rowsBrightness(rgb, 640, 4, 56) < 8 &&
                      rowsBrightness(rgb, 640, 424, 476) < 8 &&
                      rowsBrightness(rgb, 640, 100, 380) > 40;
    }
    EXPECT_TRUE(letterboxed) << feeder.messages();
    EXPECT_EQ(deviceSizeNow(device), (PictureSize{640, 480}));
    std::string check = checkOf(device);
    EXPECT_NE(check.find(device + " is held at 640x480 by a program reading it, so Lumora's "
                                  "1280x720 pictures are letterboxed into it"),
              std::string::npos)
        << check;
    EXPECT_EQ(check.find("already writes"), std::string::npos) << check;

    reader.stop();
    EXPECT_TRUE(eventually(
        [&] {
            return deviceSizeNow(device) == PictureSize{1280, 720};
        },
        30s))
        << feeder.messages();
    check = checkOf(device);
    EXPECT_EQ(check.find("held at"), std::string::npos) << check;
    EXPECT_EQ(check.find("stays at"), std::string::npos) << check;
    EXPECT_TRUE(feeder.running()) << feeder.messages();
}

// Lumora's graph killed three times while a program reads each device:
// the programs live on and get the paused card, then Lumora's marked
// pictures again once the graph is back.
TEST(LoopbackKernelTest, ConsumersLiveThroughAKilledLumora) {
    ScopedRuntimeDir runtime;
    auto devices = loadLabelledLoopback();
    ASSERT_EQ(devices.size(), 2u);
    auto graph = std::make_unique<MarkedGraph>();
    ASSERT_TRUE(graph->started());
    VCamFeeder feeder({"--auto"});
    ASSERT_TRUE(eventually([&] { return capturing(devices[1]); }, 30s)) << feeder.messages();
    LoopbackConsumer ffmpeg(Kind::Ffmpeg, devices[0]);
    LoopbackConsumer gstreamer(Kind::GStreamer, devices[1]);
    for (int kill = 0; kill < 3; ++kill) {
        ASSERT_TRUE(readsMarked(ffmpeg)) << "kill " << kill;
        ASSERT_TRUE(readsMarked(gstreamer)) << "kill " << kill;
        graph->kill();
        for (auto* consumer : {&ffmpeg, &gstreamer}) {
            // Past two seconds without a picture the card replaces the marked
            // picture; the pictures keep coming meanwhile. A reader may be
            // handed the last picture again many times a second, so it is
            // given time, not a number of pictures.
            std::vector<uint8_t> rgb;
            bool paused = false;
            std::vector<uint32_t> seen;  // what came instead, for a failure's message
            auto deadline = std::chrono::steady_clock::now() + 120s;
            while (!paused && std::chrono::steady_clock::now() < deadline) {
                ASSERT_TRUE(consumer->readNewest(&rgb)) << "kill " << kill;
                double error = 0;
                auto number = markedNumber(rgb, 640, &error);
                paused = !number.has_value();
                if (number) {
                    seen.push_back(*number);
                }
            }
            EXPECT_TRUE(paused) << "kill " << kill << ", "
                                << (consumer == &ffmpeg ? "ffmpeg" : "GStreamer") << " read "
                                << seen.size() << " marked pictures, "
                                << std::set<uint32_t>(seen.begin(), seen.end()).size()
                                << " different, from " << seen.front() << " to " << seen.back()
                                << "; " << feeder.messages();
            EXPECT_TRUE(consumer->alive());
        }
        graph = std::make_unique<MarkedGraph>();
        ASSERT_TRUE(graph->started());
    }
    EXPECT_TRUE(readsMarked(ffmpeg));
    EXPECT_TRUE(readsMarked(gstreamer));
    EXPECT_TRUE(feeder.running()) << feeder.messages();
}

// What `make install` and the Debian package put in place, used as the
// system uses it: systemd-modules-load reads the modules-load file, kmod the
// modprobe options, and the labelled devices are there. The user service's
// own command then keeps the first device a camera before Lumora runs, so
// a call program opened first finds it and later gets Lumora's picture.
TEST(LoopbackKernelTest, ThePackagedFilesMakeTheCamerasAndTheServiceKeepsThem) {
    ScopedRuntimeDir runtime;
    std::string build = fs::path(programBeside("lumora-vcam")).parent_path().parent_path();
    ASSERT_EQ(std::system(("cmake --install " + build + " --prefix /usr >/dev/null").c_str()), 0);
    ASSERT_TRUE(fs::exists("/usr/lib/modules-load.d/lumora.conf"));
    ASSERT_EQ(std::system("/lib/systemd/systemd-modules-load"), 0);
    auto devices = findVideoDevicesByLabelPrefix("Lumora直播伴侣");
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(videoDeviceLabel(devices[1]), std::string("Lumora直播伴侣 2"));
    EXPECT_NE(contentsOf("/sys/module/v4l2loopback/parameters/exclusive_caps").find('Y'),
              std::string::npos);
    EXPECT_FALSE(offersCapture(devices[0])) << "no producer yet: exclusive_caps hides it";

    std::string unit = contentsOf("/usr/lib/systemd/user/lumora-vcam.service");
    size_t at = unit.find("ExecStart=");
    ASSERT_NE(at, std::string::npos) << unit;
    std::string command = unit.substr(at + 10, unit.find('\n', at) - at - 10);
    EXPECT_EQ(command, "/usr/bin/lumora-vcam --auto");
    ChildProcess service;
    ASSERT_TRUE(service.spawn("/bin/sh", {"-c", "exec " + command}));
    EXPECT_TRUE(eventually([&] { return capturing(devices[0]); }, 30s));

    LoopbackConsumer callProgram(Kind::Ffmpeg, devices[0]);
    std::vector<uint8_t> rgb;
    ASSERT_TRUE(callProgram.read(&rgb)) << "the camera gives pictures before Lumora runs";
    MarkedGraph graph;
    ASSERT_TRUE(graph.started());
    EXPECT_TRUE(readsMarked(callProgram));
    service.signal(SIGTERM);
    EXPECT_EQ(service.wait(20s), 0);
}
