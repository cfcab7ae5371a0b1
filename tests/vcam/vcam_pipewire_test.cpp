// The PipeWire road: the process-wide graph writes the channel in a process of
// its own, `lumora-vcam --pipewire` publishes the node, and a real PipeWire
// consumer (GStreamer's pipewiresrc, linked by the test, as a session manager
// would) reads what a browser would see.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QImage>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/play_graph.h"
#include "outputs/vcam_output.h"
#include "sources/image_video_source.h"
#include "tests/support/child_process.h"
#include "tests/support/eventually.h"
#include "tests/support/pipewire_link.h"
#include "tests/support/runtime_dir.h"
#include "tests/support/test_media.h"
#include "tests/vcam/gdp_consumer.h"
#include "tests/vcam/mode_feeder.h"
#include "vcam/desktop_probe.h"
#include "vcam/frame_converter.h"

namespace {
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr const char* kConsumer = "lumora-test-consumer";

VideoOutput* virtualCamera() { return VCamOutput::instance(); }

// The placeholder as the channel carries it: B, G, R, bottom row first.
std::vector<uint8_t> placeholderChannelFrame() {
    QImage picture = QImage(":/JPG/111").convertToFormat(QImage::Format_RGB32);
    std::vector<uint8_t> frame(static_cast<size_t>(kWidth) * kHeight * 3);
    for (int y = 0; y < kHeight; ++y) {
        uint8_t* row = frame.data() + static_cast<size_t>(kHeight - 1 - y) * kWidth * 3;
        for (int x = 0; x < kWidth; ++x) {
            QRgb pixel = picture.pixel(x, y);
            row[x * 3] = static_cast<uint8_t>(qBlue(pixel));
            row[x * 3 + 1] = static_cast<uint8_t>(qGreen(pixel));
            row[x * 3 + 2] = static_cast<uint8_t>(qRed(pixel));
        }
    }
    return frame;
}

std::vector<uint8_t> placeholderIn(OutputFormat format) {
    auto channel = placeholderChannelFrame();
    std::vector<uint8_t> out(outputFrameSize(format, kWidth, kHeight));
    convertChannelFrame(channel.data(), static_cast<size_t>(kWidth) * 3, kWidth, kHeight, format,
                        out.data());
    return out;
}

// A writer of the channel: the process-wide graph with its placeholder, in a
// forked process, until it is killed.
void startWriter(ChildProcess& writer) {
    ASSERT_TRUE(writer.fork([](int out) {
        PlayGraph::SetDefaultOutputProvider(&virtualCamera);
        ImageVideoSource placeholder;
        PlayGraph::Instance()->SetPlaceholderSource(&placeholder);
        PlayGraph::Instance()->SetFrameRate(15);
        PlayGraph::Instance()->Start();
        writeAll(out, "writing\n");
        for (;;) {
            pause();
        }
        return 0;
    }));
    std::string line;
    ASSERT_TRUE(writer.readLine(&line));
    ASSERT_EQ(line, "writing");
}

// A PipeWire consumer that takes the node in one format, on its own thread,
// remembering when each frame came and what it showed.
class Consumer {
public:
    struct Frame {
        Clock::time_point when;
        bool lumora;  // the placeholder exactly (or within ±2 for YUY2)
        bool dim;     // darker than the placeholder: the paused card
    };

    Consumer(OutputFormat format, const char* caps)
        : expected_(placeholderIn(format)),
          tolerance_(format == OutputFormat::Yuyv ? 2 : 0),
          skip_(format == OutputFormat::Bgrx ? 4 : 0) {
        EXPECT_TRUE(process_.spawn("/usr/bin/gst-launch-1.0",
                                   {"-q", "pipewiresrc", "target-object=lumora-vcam",
                                    std::string("stream-properties=p,node.name=") + kConsumer, "!",
                                    caps, "!", "fdsink", "fd=1"}));
        reader_ = std::thread([this] { readFrames(); });
    }
    ~Consumer() {
        process_.signal(SIGTERM);
        process_.wait();
        reader_.join();
    }

    std::vector<Frame> frames() {
        std::lock_guard<std::mutex> guard(lock_);
        return frames_;
    }

private:
    void readFrames() {
        std::vector<uint8_t> frame(expected_.size());
        while (process_.readExactly(frame.data(), frame.size(), 20s)) {
            Frame seen{Clock::now(), matches(frame),
                       brightness(frame) < brightness(expected_) * 3 / 4};
            std::lock_guard<std::mutex> guard(lock_);
            frames_.push_back(seen);
        }
    }
    bool matches(const std::vector<uint8_t>& frame) const {
        if (tolerance_ == 0) {
            return frame == expected_;
        }
        for (size_t i = 0; i < frame.size(); ++i) {
            if (std::abs(int(frame[i]) - int(expected_[i])) > tolerance_) {
                return false;
            }
        }
        return true;
    }
    // The mean of the colour bytes (BGRx's unused fourth byte left out).
    uint64_t brightness(const std::vector<uint8_t>& frame) const {
        uint64_t sum = 0;
        uint64_t count = 0;
        for (size_t i = 0; i < frame.size(); ++i) {
            if (skip_ == 0 || i % skip_ != skip_ - 1) {
                sum += frame[i];
                ++count;
            }
        }
        return sum / count;
    }

    std::vector<uint8_t> expected_;
    int tolerance_;
    size_t skip_;  // every skip_-th byte is no colour (0: none)
    ChildProcess process_;
    std::thread reader_;
    std::mutex lock_;  // guards frames_ between the reading thread and the test
    std::vector<Frame> frames_;
};

// The frames that came in [from, to).
std::vector<Consumer::Frame> between(const std::vector<Consumer::Frame>& frames,
                                     Clock::time_point from, Clock::time_point to) {
    std::vector<Consumer::Frame> chosen;
    for (const auto& frame : frames) {
        if (frame.when >= from && frame.when < to) {
            chosen.push_back(frame);
        }
    }
    return chosen;
}

// Waits until the consumer has shown Lumora's picture; when it did, or the
// time-out.
Clock::time_point waitForLumora(Consumer& consumer, Clock::time_point since,
                                std::chrono::milliseconds limit) {
    auto deadline = since + limit;
    while (Clock::now() < deadline) {
        for (const auto& frame : consumer.frames()) {
            if (frame.when >= since && frame.lumora) {
                return frame.when;
            }
        }
        std::this_thread::sleep_for(20ms);
    }
    return Clock::time_point::max();
}

// Waits until the consumer has a frame that came at `until` or later.
bool receivedUntil(Consumer& consumer, Clock::time_point until, std::chrono::milliseconds limit) {
    return eventually(
        [&] {
            auto frames = consumer.frames();
            return !frames.empty() && frames.back().when >= until;
        },
        limit);
}
}  // namespace

TEST(VCamPipeWireTest, TheNodeShowsThePlaceholderExactlyAtFifteenPicturesASecond) {
    ScopedRuntimeDir runtime;
    ChildProcess writer;
    startWriter(writer);
    ChildProcess node;
    ASSERT_TRUE(node.spawn(programBeside("lumora-vcam"), {"--pipewire"}));
    ASSERT_TRUE(awaitPipeWireOutput("lumora-vcam:out_0"));

    for (auto [format, caps] : {std::pair{OutputFormat::Yuyv, "video/x-raw,format=YUY2"},
                                std::pair{OutputFormat::Bgrx, "video/x-raw,format=BGRx"}}) {
        SCOPED_TRACE(outputFormatName(format));
        Consumer consumer(format, caps);
        ASSERT_TRUE(linkPipeWirePorts("lumora-vcam:out_0", std::string(kConsumer) + ":in_0"));
        auto first = waitForLumora(consumer, Clock::now(), 10s);
        ASSERT_NE(first, Clock::time_point::max()) << "the placeholder never came";
        ASSERT_TRUE(receivedUntil(consumer, first + 3s, 5s));
        auto window = between(consumer.frames(), first, first + 3s);
        size_t exact = 0;
        for (const auto& frame : window) {
            exact += frame.lumora;
        }
        EXPECT_EQ(exact, window.size()) << "every frame is the placeholder";
        // At least a third of 15 a second, never more than the node makes.
        EXPECT_GE(window.size(), 3u * 15u / 3u) << window.size() << " frames in 3 s";
        EXPECT_LE(window.size(), 3u * 15u + 3u) << window.size() << " frames in 3 s";
    }
    node.signal(SIGTERM);
    EXPECT_EQ(node.wait(), 0);
}

TEST(VCamPipeWireTest, AConsumerKeepsItsCameraWhileTheWriterIsKilledAndStartedAgain) {
    ScopedRuntimeDir runtime;
    ChildProcess node;
    ASSERT_TRUE(node.spawn(programBeside("lumora-vcam"), {"--pipewire"}));
    ASSERT_TRUE(awaitPipeWireOutput("lumora-vcam:out_0"));
    Consumer consumer(OutputFormat::Bgrx, "video/x-raw,format=BGRx");
    ASSERT_TRUE(linkPipeWirePorts("lumora-vcam:out_0", std::string(kConsumer) + ":in_0"));

    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        auto started = Clock::now();
        {
            ChildProcess writer;
            startWriter(writer);
            // Well under a second on an idle machine; the limit only tells
            // a camera that stays on the card from a late one under load.
            auto seen = waitForLumora(consumer, started, 20s);
            ASSERT_NE(seen, Clock::time_point::max()) << "Lumora's picture after the start";
            ASSERT_TRUE(receivedUntil(consumer, seen + 1s, 5s));
            writer.signal(SIGKILL);
            writer.wait();
        }
        auto killed = Clock::now();
        ASSERT_TRUE(receivedUntil(consumer, killed + 5s, 8s));
        // While no writer runs: the last picture, then after two seconds the
        // dimmed paused card, looked for two seconds later still so that a
        // busy machine's late card is not taken for none.
        auto late = between(consumer.frames(), killed + 4s, killed + 5s);
        ASSERT_FALSE(late.empty());
        for (const auto& frame : late) {
            EXPECT_FALSE(frame.lumora);
            EXPECT_TRUE(frame.dim) << "the paused card is the dimmed picture";
        }
    }
    auto frames = consumer.frames();
    ASSERT_GT(frames.size(), 100u);
    auto longest = 0ms;
    for (size_t i = 1; i < frames.size(); ++i) {
        longest = std::max(longest, std::chrono::duration_cast<std::chrono::milliseconds>(
                                        frames[i].when - frames[i - 1].when));
    }
    // A stall that a consumer would see as a lost camera lasts seconds.
    EXPECT_LT(longest, 2s) << "the camera never stalls: the longest gap " << longest.count()
                           << " ms";
    node.signal(SIGTERM);
    EXPECT_EQ(node.wait(), 0);
}

// `--check` on the real daemon: beside WirePlumber and the camera portal
// (the desktop session) the camera is reachable; on a bare daemon it says
// that nothing links programs to the camera and that browsers find none.
TEST(VCamPipeWireTest, CheckSaysWhatTheSessionLacksForProgramsAndBrowsers) {
    ScratchDir home;
    std::string session = std::getenv("PIPEWIRE_RUNTIME_DIR");
    bool desktop = std::filesystem::exists(session + "/bus");
    ASSERT_EQ(desktop, pipeWireSessionManagerRuns()) << "WirePlumber runs in the desktop session";
    std::string bus = desktop ? "unix:path=" + session + "/bus" : "disabled:";
    auto check = [&](const char* language) {
        return commandOutput("HOME='" + home.file("") + "' DBUS_SESSION_BUS_ADDRESS='" + bus +
                             "' LUMORA_LANG=" + language + " '" + programBeside("lumora-vcam") +
                             "' --check; echo exit $?");
    };
    std::string english = check("en");
    std::string chinese = check("zh");
    if (desktop) {
        EXPECT_EQ(english, "the virtual camera can be reached\nexit 0\n");
        EXPECT_EQ(chinese, "虚拟摄像头可以使用\nexit 0\n");
    } else {
        EXPECT_NE(english.find("PipeWire runs without a session manager"), std::string::npos)
            << english;
        EXPECT_NE(english.find("camera portal does not answer"), std::string::npos) << english;
        EXPECT_NE(english.find("exit 1\n"), std::string::npos) << english;
        // In Chinese the words are Chinese, the commands as they are.
        EXPECT_NE(chinese.find("PipeWire 没有会话管理器，没有程序能连上这个摄像头：sudo apt-get "
                               "install wireplumber"),
                  std::string::npos)
            << chinese;
        EXPECT_NE(chinese.find("桌面的摄像头门户没有应答"), std::string::npos) << chinese;
        EXPECT_EQ(chinese.find("does not"), std::string::npos) << chinese;
        EXPECT_NE(chinese.find("exit 1\n"), std::string::npos) << chinese;
    }
}

namespace {
// The first picture of the feeder at width x height the consumer got; max
// when none came within `limit`.
Clock::time_point firstMarkedPicture(GdpConsumer& consumer, int width, int height,
                                     std::chrono::milliseconds limit) {
    Clock::time_point seen = Clock::time_point::max();
    eventually(
        [&] {
            for (const auto& picture : consumer.pictures()) {
                if (picture.width == width && picture.height == height && picture.marker >= 0) {
                    seen = picture.when;
                    return true;
                }
            }
            return false;
        },
        limit);
    return seen;
}
}  // namespace

namespace {
// Starts `lumora-vcam --pipewire` with what it says on standard error kept
// in the file `log`.
bool spawnNodeSaying(ChildProcess& node, const std::string& log) {
    return node.spawn("/bin/sh",
                      {"-c", "exec \"$0\" --pipewire 2>\"$1\"", programBeside("lumora-vcam"), log});
}

// The lines of the file `path` that hold `text`.
std::vector<std::string> linesWith(const std::string& path, const std::string& text) {
    std::ifstream in(path);
    std::vector<std::string> found;
    for (std::string line; std::getline(in, line);) {
        if (line.find(text) != std::string::npos) {
            found.push_back(line);
        }
    }
    return found;
}

std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) {
        text += line + "\n";
    }
    return text;
}
}  // namespace

// What the consumer saw, for a failure's message.
std::string seenBy(GdpConsumer& consumer) {
    std::string text = consumer.ended() ? "the stream ended; " : "the stream goes on; ";
    for (const auto& caps : consumer.caps()) {
        text += "caps " + caps.text + "; ";
    }
    auto pictures = consumer.pictures();
    text += std::to_string(pictures.size()) + " pictures";
    if (!pictures.empty()) {
        const auto& last = pictures.back();
        text += ", the last " + std::to_string(last.width) + "x" + std::to_string(last.height) +
                " " + std::to_string(last.bytes) + " bytes, marker " + std::to_string(last.marker);
    }
    return text;
}

// The graph changes from 640 x 480 at 15 to 1280 x 720 at 30 while a
// consumer reads the node: the consumer's format changes to the new one in
// the same stream (no second stream start, no end) and once, straight to the
// new size and rate; the first picture of the new mode lumora-vcam takes
// from the channel is the consumer's first at the new size, and no picture
// of the new mode comes at the old size. Then 1280 x 720 pictures of the
// feeder come at 30 a second for 5 s (at least a third of that, never more).
TEST(VCamPipeWireTest, AModeChangeRenegotiatesTheConsumerWithoutEndingItsStream) {
    ScopedRuntimeDir runtime;
    ModeFeeder feeder({FeedMode{640, 480, 15}, FeedMode{1280, 720, 30}});
    ASSERT_TRUE(feeder.started());
    ASSERT_TRUE(eventually([&] { return channelShows(runtime.path(), {640, 480, 15}); }, 5s));
    ChildProcess node;
    const std::string log = runtime.file("lumora-vcam.log");
    ASSERT_TRUE(spawnNodeSaying(node, log));
    ASSERT_TRUE(awaitPipeWireOutput("lumora-vcam:out_0"));
    GdpConsumer consumer({{640, 480}, {1280, 720}});
    ASSERT_TRUE(consumer.started());
    ASSERT_TRUE(
        linkPipeWirePorts("lumora-vcam:out_0", std::string(GdpConsumer::kNodeName) + ":in_0"));

    ASSERT_NE(firstMarkedPicture(consumer, 640, 480, 10s), Clock::time_point::max())
        << "the feeder's 640 x 480 pictures came: " << seenBy(consumer);
    EXPECT_EQ(GdpConsumer::pipeWireFormat(), "BGRx 640x480@15/1");
    ASSERT_EQ(consumer.caps().size(), 1u);
    std::string caps = consumer.caps().front().text;
    EXPECT_EQ(capsInt(caps, "width"), 640) << caps;
    EXPECT_NE(caps.find("framerate=(fraction)15/1"), std::string::npos) << caps;
    const std::string agreement = "PipeWire consumers take";
    size_t agreedBefore = linesWith(log, agreement).size();
    EXPECT_GE(agreedBefore, 1u) << joined(linesWith(log, ""));

    feeder.nextMode();
    auto first = firstMarkedPicture(consumer, 1280, 720, 10s);
    ASSERT_NE(first, Clock::time_point::max())
        << "the feeder's 1280 x 720 pictures came: " << seenBy(consumer);
    std::string format;
    EXPECT_TRUE(eventually(
        [&] { return (format = GdpConsumer::pipeWireFormat()) == "BGRx 1280x720@30/1"; }, 5s))
        << format;

    // The rate once the change has settled: the pictures that waited while
    // the consumer renegotiated come in a burst right after it.
    const auto from = first + 1s;
    const auto span = 5s;
    ASSERT_TRUE(eventually(
        [&] {
            auto pictures = consumer.pictures();
            return !pictures.empty() && pictures.back().when > from + span;
        },
        1s + span + 3s))
        << "pictures go on coming: " << seenBy(consumer);
    int pictures = 0, newPictures = 0, others = 0, lastMarker = -1;
    for (const auto& picture : consumer.pictures()) {
        if (picture.when < first) {
            continue;
        }
        others += picture.width != 1280 || picture.height != 720 || picture.marker < 0;
        if (picture.when < from || picture.when >= from + span) {
            continue;
        }
        bool whole = picture.width == 1280 && picture.height == 720 && picture.marker >= 0;
        pictures += whole;
        newPictures += whole && picture.marker != lastMarker;
        lastMarker = picture.marker;
    }
    double seconds = std::chrono::duration<double>(span).count();
    std::printf("PipeWire 1280x720: %.2f pictures/s, %.2f new pictures/s\n", pictures / seconds,
                newPictures / seconds);
    // A busy machine delivers fewer, never more than 30 a second make (the
    // burst after the change lies before the window); the feeder's own
    // pictures, not only repeats of one.
    EXPECT_GE(pictures, 30.0 * seconds / 3);
    EXPECT_LE(pictures, 30.0 * seconds + 5);
    EXPECT_GE(newPictures, 30.0 * seconds / 3);
    EXPECT_EQ(others, 0) << "every picture after the change is a whole 1280 x 720 one";
    EXPECT_EQ(consumer.streamStarts(), 1) << "the consumer's stream never started anew";
    EXPECT_FALSE(consumer.ended());
    node.signal(SIGTERM);
    EXPECT_EQ(node.wait(), 0);

    // One renegotiation for the one change, straight to the new size and rate.
    auto agreed = linesWith(log, agreement);
    ASSERT_EQ(agreed.size(), agreedBefore + 1) << joined(agreed);
    EXPECT_NE(agreed.back().find("bgrx 1280x720 at 30 a second"), std::string::npos)
        << agreed.back();
    // The picture that brought the change is the first one the consumer got
    // at the new size (each picture carries the channel's number), and every
    // picture from it on came at the new size, in order.
    auto changes = linesWith(log, "the channel's pictures are");
    ASSERT_EQ(changes.size(), 1u) << joined(changes);
    EXPECT_NE(changes[0].find("1280x720 at 30 a second"), std::string::npos) << changes[0];
    size_t numberAt = changes[0].find("from picture ");
    ASSERT_NE(numberAt, std::string::npos) << changes[0];
    uint64_t firstNew = std::stoull(changes[0].substr(numberAt + 13));
    uint64_t firstAtNewSize = 0, previous = 0;
    int newAtOldSize = 0, backwards = 0;
    for (const auto& picture : consumer.pictures()) {
        bool newSize = picture.width == 1280 && picture.height == 720;
        if (newSize && firstAtNewSize == 0) {
            firstAtNewSize = picture.number;
        }
        newAtOldSize += !newSize && picture.number >= firstNew;
        backwards += picture.number < previous;
        previous = picture.number;
    }
    EXPECT_EQ(firstAtNewSize, firstNew) << "the first picture of the new mode was lost";
    EXPECT_EQ(newAtOldSize, 0) << "pictures of the new mode came at the old size";
    EXPECT_EQ(backwards, 0) << "the pictures came out of order";
}
