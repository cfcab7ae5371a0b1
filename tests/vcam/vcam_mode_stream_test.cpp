// The virtual camera's standard output at the graph's bigger modes: the
// real VCamOutput, fed at the mode's size and rate by a paced feeder in a
// process of its own, and the real lumora-vcam reading the channel.

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/eventually.h"
#include "tests/support/runtime_dir.h"
#include "tests/vcam/mode_feeder.h"

namespace {
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr FeedMode k720p{1280, 720, 30};
constexpr FeedMode k1080p{1920, 1080, 30};

// How many pixels of a B, G, R row are white from its start.
int whiteRun(const uint8_t* row, int width) {
    int run = 0;
    while (run < width && markerColumn(row + run * 3, 1, 3) == 0) {
        ++run;
    }
    return run;
}

size_t bgrBytes(int width, int height) { return static_cast<size_t>(width) * height * 3; }

// What the frames of one stretch of standard output showed.
struct StreamCount {
    int frames = 0;       // whole frames read
    int newPictures = 0;  // frames whose marker moved: pictures of the feeder, not repeats
    int unmarked = 0;     // frames without the marker
    int before = 0;       // frames before the first marked one
    double seconds = 0;   // from the reader's start to the last frame read
};

// Reads frames of width x height for `span` from the first one that shows
// the marker on; the counts, or nothing when no marked frame came in 10 s.
std::optional<StreamCount> countFrames(ChildProcess& reader, int width, int height,
                                       std::chrono::milliseconds span) {
    std::vector<uint8_t> frame(bgrBytes(width, height));
    auto began = Clock::now();
    auto giveUp = began + 10s;
    int column = -1;
    int before = -1;
    while (column < 0) {
        if (Clock::now() > giveUp || !reader.readExactly(frame.data(), frame.size())) {
            return std::nullopt;
        }
        column = markerColumn(frame.data(), width, 3);
        ++before;
    }
    StreamCount count;
    count.before = before;
    auto end = Clock::now() + span;
    while (Clock::now() < end && reader.readExactly(frame.data(), frame.size(), 2s)) {
        ++count.frames;
        int now = markerColumn(frame.data(), width, 3);
        count.unmarked += now < 0;
        count.newPictures += now >= 0 && now != column;
        column = now >= 0 ? now : column;
    }
    count.seconds = std::chrono::duration<double>(Clock::now() - began).count();
    return count;
}
}  // namespace

// For 5 s at 1280 x 720 and then at 1920 x 1080, each at 30 pictures a
// second: standard output carries frames of the mode's size at its rate
// (at least a third of it, never more), and they are the feeder's own
// pictures, not repeats. When the writer goes, the paused card comes at
// the size of the last pictures.
TEST(VCamModeStreamTest, StandardOutputCarriesEachModesSizeAtItsRate) {
    ScopedRuntimeDir runtime;
    ModeFeeder feeder({k720p, k1080p});
    ASSERT_TRUE(feeder.started());
    const auto span = 5s;
    for (const FeedMode& mode : {k720p, k1080p}) {
        SCOPED_TRACE(std::to_string(mode.width) + "x" + std::to_string(mode.height));
        if (mode.width != k720p.width) {
            feeder.nextMode();
        }
        ASSERT_TRUE(eventually([&] { return channelShows(runtime.path(), mode); }, 5s));
        ChildProcess reader;
        ASSERT_TRUE(
            reader.spawn(programBeside("lumora-vcam"), {"--output", "-", "--format", "bgr24"}));
        auto count = countFrames(reader, mode.width, mode.height, span);
        ASSERT_TRUE(count.has_value()) << "no picture of the feeder came";
        double seconds = std::chrono::duration<double>(span).count();
        std::printf("%dx%d: %.2f frames/s, %.2f new pictures/s\n", mode.width, mode.height,
                    count->frames / seconds, count->newPictures / seconds);
        // A busy machine delivers fewer, never more than the rate makes in
        // the time the reader ran; the feeder's own pictures, not only
        // repeats of one.
        EXPECT_GE(count->frames, mode.rate * seconds / 3);
        EXPECT_LE(count->frames, mode.rate * count->seconds + 2)
            << count->frames << " frames in " << count->seconds << " s";
        EXPECT_GE(count->newPictures, mode.rate * seconds / 3);
        EXPECT_EQ(count->unmarked, 0);
        EXPECT_EQ(count->before, 0) << "the first frame is the writer's picture, not a black one";

        if (mode.width == k1080p.width) {
            feeder.kill();
            std::vector<uint8_t> frame(bgrBytes(mode.width, mode.height));
            double lit = 0;
            bool dimmed = eventually(
                [&] {
                    if (!reader.readExactly(frame.data(), frame.size(), 2s)) {
                        return true;  // the stream broke: the checks below say so
                    }
                    double now = meanBrightness(frame.data(), frame.size(), 3);
                    lit = lit == 0 ? now : lit;
                    return now < lit * 3 / 4;
                },
                8s);
            EXPECT_TRUE(dimmed) << "the paused card at 1920 x 1080";
            EXPECT_TRUE(reader.readExactly(frame.data(), frame.size(), 2s)) << "the stream goes on";
            EXPECT_EQ(markerColumn(frame.data(), mode.width, 3), -1) << "the marker is dimmed too";
        }
        reader.signal(SIGTERM);
        EXPECT_EQ(reader.wait(), 0);
    }
}

// lumora-vcam started before the mode change keeps 640 x 480 on standard
// output: the wider pictures come letterboxed into it (60 black rows above
// and below a 640 x 360 picture), and it says so once.
TEST(VCamModeStreamTest, StandardOutputKeepsItsFirstSizeAndSaysSoOnce) {
    ScopedRuntimeDir runtime;
    std::string notes = runtime.file("notes");
    ChildProcess reader;
    ASSERT_TRUE(
        reader.spawn("/bin/sh", {"-c", "exec '" + programBeside("lumora-vcam") +
                                           "' --output - --format bgr24 2>'" + notes + "'"}));
    std::vector<uint8_t> frame(bgrBytes(640, 480));
    ASSERT_TRUE(reader.readExactly(frame.data(), frame.size()));
    EXPECT_EQ(frame, std::vector<uint8_t>(frame.size(), 0)) << "black before any writer";

    ModeFeeder feeder({FeedMode{640, 480, 15}, k720p, k1080p});
    ASSERT_TRUE(feeder.started());
    for (int change = 0; change < 2; ++change) {
        feeder.nextMode();
        const FeedMode& mode = change == 0 ? k720p : k1080p;
        ASSERT_TRUE(eventually([&] { return channelShows(runtime.path(), mode); }, 5s));
        // Frames stay 640 x 480 and show the scaled picture below a black
        // band: its marker, 16 pixels wide in the feeder's picture, is
        // narrower here and on the picture's first row, not the frame's (a
        // 640 x 480 picture still in the pipe shows it whole, on top).
        constexpr int kBand = 60;
        const uint8_t* firstRow = frame.data() + static_cast<size_t>(kBand) * 640 * 3;
        int scaled = 0;
        for (int i = 0; i < 150 && scaled < 10; ++i) {
            ASSERT_TRUE(reader.readExactly(frame.data(), frame.size()));
            int column = markerColumn(firstRow, 640, 3);
            int run = column >= 0 ? whiteRun(firstRow + column * 3, 640 - column) : 0;
            bool boxed =
                meanBrightness(frame.data(), static_cast<size_t>(kBand) * 640 * 3, 3) < 1 &&
                meanBrightness(frame.data() + (480 - kBand) * 640 * 3,
                               static_cast<size_t>(kBand) * 640 * 3, 3) < 1;
            scaled += column >= 0 && run < ModeFeeder::kMarkerSize - 4 && boxed;
        }
        EXPECT_EQ(scaled, 10) << "the " << mode.width << "x" << mode.height
                              << " pictures come scaled";
    }
    reader.signal(SIGTERM);
    EXPECT_EQ(reader.wait(), 0);
    // The stream's note comes once, beside the reader's line on each change.
    std::ifstream in(notes);
    std::vector<std::string> said;
    for (std::string line; std::getline(in, line);) {
        if (line.find("standard output") != std::string::npos) {
            said.push_back(line);
        }
    }
    EXPECT_EQ(said, std::vector<std::string>{
                        "lumora-vcam: the picture is now 1280x720; standard output keeps 640x480, "
                        "its size from the start, and letterboxes the pictures into it"});
}
