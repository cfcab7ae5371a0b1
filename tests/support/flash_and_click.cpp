#include "tests/support/flash_and_click.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>

#include "tests/support/child_process.h"
#include "tests/support/media_probe.h"

namespace {
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// The rate the sound is decoded at to find the clicks.
constexpr int kDecodeRate = 48000;

int64_t nanosecondsOf(Clock::time_point when) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(when.time_since_epoch()).count();
}
}  // namespace

ClickingMicrophone::ClickingMicrophone(Sink sink, int sampleRate, int channels, int blockFrames)
    : sink_(std::move(sink)),
      sampleRate_(sampleRate),
      channels_(channels),
      blockFrames_(blockFrames) {}

ClickingMicrophone::~ClickingMicrophone() { stop(); }

void ClickingMicrophone::start(Clock::time_point from) {
    thread_ = std::thread([this, from] { run(from); });
}

void ClickingMicrophone::stop() {
    stopping_ = true;
    if (thread_.joinable()) {
        thread_.join();
    }
}

bool ClickingMicrophone::announce(int64_t when) {
    const int at = announced_.load();
    if (at >= static_cast<int>(moments_.size())) {
        return false;
    }
    moments_[static_cast<size_t>(at)] = when;
    announced_.store(at + 1);
    return true;
}

void ClickingMicrophone::run(Clock::time_point from) {
    const int64_t blockNs = int64_t{1'000'000'000} * blockFrames_ / sampleRate_;
    const auto first = from + std::chrono::nanoseconds(blockNs);
    std::this_thread::sleep_until(first);
    // The encoder takes the first sample to have been heard a block before
    // the first block came, as it is from a microphone; this thread may wake
    // late on a busy machine, and its sound is then heard from that moment on.
    const int64_t originNs = nanosecondsOf(Clock::now()) - blockNs;
    std::vector<int16_t> block(static_cast<size_t>(blockFrames_) * channels_);
    for (int64_t k = 0; !stopping_; ++k) {
        std::this_thread::sleep_until(first + std::chrono::nanoseconds(k * blockNs));
        fill(block, k * blockFrames_, originNs);
        sink_(reinterpret_cast<const uint8_t*>(block.data()),
              static_cast<int>(block.size() * sizeof(int16_t)));
    }
}

// The samples from `firstFrame` on (counted from the first heard).
void ClickingMicrophone::fill(std::vector<int16_t>& block, int64_t firstFrame, int64_t originNs) {
    std::fill(block.begin(), block.end(), 0);
    const int64_t clickFrames = sampleRate_ / 100;
    const int64_t halfPeriod = sampleRate_ / 2000;  // a 1 kHz square
    const int announced = announced_.load();
    for (int i = 0; i < announced; ++i) {
        const int64_t clickFrame =
            (moments_[static_cast<size_t>(i)] - originNs) * sampleRate_ / 1'000'000'000;
        for (int64_t f = std::max(clickFrame, firstFrame);
             f < std::min(clickFrame + clickFrames, firstFrame + blockFrames_); ++f) {
            const bool high = ((f - clickFrame) / halfPeriod) % 2 == 0;
            for (int c = 0; c < channels_; ++c) {
                block[static_cast<size_t>((f - firstFrame) * channels_ + c)] =
                    high ? 24000 : -24000;
            }
        }
    }
}

std::vector<bool> handFlashes(const FlashPlan& plan, Clock::time_point grid,
                              ClickingMicrophone& microphone, const std::function<bool()>& ready,
                              const std::function<void(const uint8_t*, size_t)>& hand,
                              std::string* problem) {
    const std::vector<uint8_t> black(static_cast<size_t>(plan.width) * plan.height * 3, 0);
    const std::vector<uint8_t> white(black.size(), 255);
    const auto tick = std::chrono::nanoseconds(1'000'000'000 / plan.frameRate);
    // After a picture handed late the encoder puts each picture a slot later
    // until a tick is left out: the white pictures after it are not judged.
    std::vector<bool> onTime;
    std::optional<int> readyAt;
    int skip = 0;
    bool allOnTime = true;  // since the last ticks left out
    for (int n = 0; std::count(onTime.begin(), onTime.end(), true) < plan.events; ++n) {
        if (n >= plan.frameRate * 90) {
            *problem = "a minute and a half, and the output was never ready";
            return {};
        }
        auto due = grid + n * tick;
        if (!readyAt && ready()) {
            readyAt = n;
        }
        // From a second after it got ready, every rate-th picture is white
        // and the microphone clicks at the moment it is made. The encoder
        // puts pictures on a grid of the frame rate, which moves each up to
        // half a picture's time; the white ones come each at another moment
        // within a tick, so that the grid moves them as far one way as the
        // other, and the two ticks after one are left out so that its slot is
        // free, wherever the grid puts it.
        const bool event =
            readyAt && n >= *readyAt + plan.frameRate && (n - *readyAt) % plan.frameRate == 0;
        if (event) {
            if (onTime.size() >= 40u) {
                *problem = "white pictures handed late: the machine is too busy";
                return {};
            }
            due += tick * std::count(onTime.begin(), onTime.end(), true) / plan.events;
            if (!microphone.announce(nanosecondsOf(due))) {
                *problem = "more clicks than the microphone holds";
                return {};
            }
            skip = 2;
        } else if (skip > 0) {
            --skip;
            allOnTime = true;
            continue;
        }
        std::this_thread::sleep_until(due);  // the graph's pace
        const std::vector<uint8_t>& picture = event ? white : black;
        const auto handed = Clock::now();
        hand(picture.data(), picture.size());
        allOnTime = allOnTime && handed - due < 3ms;
        if (event) {
            onTime.push_back(allOnTime);
        }
    }
    for (int n = 0; n < plan.frameRate; ++n) {
        std::this_thread::sleep_for(tick);
        hand(black.data(), black.size());
    }
    return onTime;
}

// From the decoded pictures and the packets' times (no B-frames: packets
// come in the order shown; in milliseconds as the file times them).
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

std::vector<double> clickTimes(const std::string& path) {
    const std::vector<double> packets = packetTimes(path, "a");
    if (packets.empty()) {
        return {};
    }
    const std::string bytes =
        commandOutput("ffmpeg -v error -i '" + path + "' -map 0:a:0 -ac 1 -ar " +
                      std::to_string(kDecodeRate) + " -f s16le -");
    std::vector<double> clicks;
    int64_t quiet = 0;
    for (size_t i = 0; 2 * i + 1 < bytes.size(); ++i) {
        const auto sample = static_cast<int16_t>(static_cast<uint8_t>(bytes[2 * i]) |
                                                 static_cast<uint8_t>(bytes[2 * i + 1]) << 8);
        if (std::abs(sample) < 12000) {
            ++quiet;
            continue;
        }
        if (quiet >= kDecodeRate / 10) {
            clicks.push_back(packets.front() + static_cast<double>(i) / kDecodeRate);
        }
        quiet = 0;
    }
    return clicks;
}

std::vector<double> clickOffsets(const std::string& path, const std::vector<bool>& onTime,
                                 std::string* problem) {
    const std::vector<double> whites = whitePictureTimes(path);
    const std::vector<double> clicks = clickTimes(path);
    if (whites.size() != onTime.size() || clicks.empty()) {
        *problem = std::to_string(whites.size()) + " white pictures of " +
                   std::to_string(onTime.size()) + ", " + std::to_string(clicks.size()) +
                   " clicks in " + path;
        return {};
    }
    std::vector<double> offsets;
    for (size_t i = 0; i < whites.size(); ++i) {
        const double click = *std::min_element(
            clicks.begin(), clicks.end(),
            [&](double a, double b) { return std::abs(a - whites[i]) < std::abs(b - whites[i]); });
        std::printf("white picture at %.3f s, its click at %.3f s: %+.1f ms%s\n", whites[i], click,
                    (click - whites[i]) * 1000, onTime[i] ? "" : " (handed late)");
        offsets.push_back(click - whites[i]);
    }
    return offsets;
}
