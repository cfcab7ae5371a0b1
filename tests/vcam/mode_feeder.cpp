#include "tests/vcam/mode_feeder.h"

#include <signal.h>

#include <atomic>
#include <ctime>
#include <fstream>
#include <utility>

#include "base/output_mode.h"
#include "base/video_frame.h"
#include "channel/channel_names.h"
#include "channel/vcam_header.h"
#include "outputs/vcam_output.h"

namespace {
volatile sig_atomic_t g_modeChanges = 0;

void onNextMode(int) { g_modeChanges = g_modeChanges + 1; }

// The picture without its marker, bottom row first: a calm pattern that is
// never white.
std::vector<uint8_t> background(const FeedMode& mode) {
    uint32_t rowBytes = VideoFrame::RowBytes(mode.width, 24);
    std::vector<uint8_t> frame(VideoFrame::Size24(mode.width, mode.height));
    for (int y = 0; y < mode.height; ++y) {
        for (int x = 0; x < mode.width * 3; ++x) {
            frame[static_cast<size_t>(y) * rowBytes + static_cast<size_t>(x)] =
                static_cast<uint8_t>(40 + (x / 3 * 3 + y * 5 + x % 3 * 50) % 160);
        }
    }
    return frame;
}

// Paints the marker of picture `number` into `frame`, or, with `source`,
// puts the background back where it was.
void paintMarker(std::vector<uint8_t>& frame, const std::vector<uint8_t>* source,
                 const FeedMode& mode, long number) {
    uint32_t rowBytes = VideoFrame::RowBytes(mode.width, 24);
    long steps = mode.width / ModeFeeder::kMarkerSize;
    size_t left = static_cast<size_t>(number % steps) * ModeFeeder::kMarkerSize * 3;
    for (int y = 0; y < ModeFeeder::kMarkerSize; ++y) {
        size_t row = static_cast<size_t>(mode.height - 1 - y) * rowBytes;  // picture line y
        for (size_t i = 0; i < ModeFeeder::kMarkerSize * 3; ++i) {
            frame[row + left + i] = source != nullptr ? (*source)[row + left + i] : 255;
        }
    }
}

void advance(timespec& deadline, long periodNs) {
    deadline.tv_nsec += periodNs;
    while (deadline.tv_nsec >= 1'000'000'000L) {
        deadline.tv_nsec -= 1'000'000'000L;
        ++deadline.tv_sec;
    }
}

OutputMode outputModeOf(const FeedMode& mode) { return {mode.width, mode.height, mode.rate}; }

// Feeds one mode until the next is asked for. As the program does on a mode
// change, the next mode is told first, and one more picture of this one
// follows (the graph's tick under way) before the pictures change.
void feed(VCamOutput* output, const FeedMode& mode, const FeedMode* next, sig_atomic_t modeNumber) {
    const auto plain = background(mode);
    auto frame = plain;
    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    for (long number = 0;; ++number) {
        bool last = g_modeChanges != modeNumber;
        if (last && next != nullptr) {
            output->SetMode(outputModeOf(*next));
        }
        paintMarker(frame, nullptr, mode, number);
        output->OnFrame24(frame.data(), frame.size(), mode.width, mode.height);
        paintMarker(frame, &plain, mode, number);
        advance(deadline, 1'000'000'000L / mode.rate);
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr);
        if (last) {
            return;
        }
    }
}
}  // namespace

ModeFeeder::ModeFeeder(std::vector<FeedMode> modes) {
    started_ = process_.fork([modes = std::move(modes)](int out) {
        struct sigaction next {};
        next.sa_handler = onNextMode;
        sigaction(SIGUSR1, &next, nullptr);
        VCamOutput* output = VCamOutput::instance();
        output->SetMode(outputModeOf(modes.front()));
        writeAll(out, output->isPublishing() ? "feeding\n" : "no channel\n");
        for (size_t i = 0; i < modes.size(); ++i) {
            const FeedMode* next = i + 1 < modes.size() ? &modes[i + 1] : nullptr;
            feed(output, modes[i], next, static_cast<sig_atomic_t>(i));
        }
        for (;;) {
            pause();  // past the last mode: as a graph that stopped
        }
        return 0;
    });
    std::string line;
    started_ = started_ && process_.readLine(&line) && line == "feeding";
}

ModeFeeder::~ModeFeeder() { kill(); }

void ModeFeeder::nextMode() { process_.signal(SIGUSR1); }

void ModeFeeder::kill() {
    if (process_.pid() > 0) {
        process_.signal(SIGKILL);
        process_.wait();
    }
}

bool channelShows(const std::string& runtimeDir, const FeedMode& mode) {
    std::ifstream in(runtimeDir + "/" + kVCamBlockName, std::ios::binary);
    VCamHeader header{};
    return in.read(reinterpret_cast<char*>(&header), sizeof header) && header.sequence != 0 &&
           header.width == mode.width && header.height == mode.height &&
           vcamFrameRate(header) == mode.rate;
}

int markerColumn(const uint8_t* picture, int width, int bytesPerPixel) {
    for (int x = 0; x < width; ++x) {
        const uint8_t* pixel = picture + static_cast<size_t>(x) * bytesPerPixel;
        if (pixel[0] >= 250 && pixel[1] >= 250 && pixel[2] >= 250) {
            return x;
        }
    }
    return -1;
}

double meanBrightness(const uint8_t* picture, size_t size, int bytesPerPixel) {
    uint64_t sum = 0;
    uint64_t count = 0;
    for (size_t i = 0; i < size; ++i) {
        if (i % static_cast<size_t>(bytesPerPixel) < 3) {
            sum += picture[i];
            ++count;
        }
    }
    return count == 0 ? 0.0 : static_cast<double>(sum) / static_cast<double>(count);
}
