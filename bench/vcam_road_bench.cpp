// The virtual camera's roads as a consumer meets them: a writer puts 15
// numbered pictures a second into the channel, lumora-vcam hands them on, and
// a consumer takes them. Reports, for each road, lumora-vcam's CPU as a
// fraction of one core and the delay from a picture written into the channel
// to the consumer receiving it (median and 99th percentile).
//   vcam_road_bench [SECONDS]              (default 20 s a road)
//   vcam_road_bench --loopback [SECONDS]   the loopback road at each output
//       mode, ffmpeg reading the device; needs root and the v4l2loopback
//       module (bench/loopback_road.sh runs it in a kernel of its own)

#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "channel/virtual_camera_server.h"
#include "tests/support/child_process.h"
#include "tests/support/pipewire_link.h"

namespace {
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The pictures a writer makes: the output mode's size and rate.
struct Mode {
    int width = 640;
    int height = 480;
    int rate = 15;
};

std::string programBeside(const std::string& name) {
    return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / name).string();
}

double cpuSeconds(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    size_t end = text.rfind(')');
    if (end == std::string::npos) {
        return 0;
    }
    std::vector<std::string> fields;
    size_t start = end + 2;
    while (start < text.size()) {
        size_t space = text.find(' ', start);
        fields.push_back(text.substr(start, space - start));
        if (space == std::string::npos) {
            break;
        }
        start = space + 1;
    }
    // utime and stime are the 14th and 15th fields, the 12th and 13th after the name.
    return (std::stod(fields[11]) + std::stod(fields[12])) / sysconf(_SC_CLK_TCK);
}

// Writes numbered pictures: the number's eight bytes are the blue bytes of
// the first eight pixels of the picture's bottom row, which survive every
// road that keeps B, G, R.
class NumberedWriter {
public:
    explicit NumberedWriter(Mode mode = {})
        : mode_(mode), frame_(static_cast<size_t>(mode.width) * mode.height * 3, 90) {
        server_.start(mode.width, mode.height);
        server_.setFrameRate(mode.rate);
        thread_ = std::thread([this] { run(); });
    }
    ~NumberedWriter() {
        quit_ = true;
        thread_.join();
        server_.stop();
    }
    Clock::time_point writtenAt(uint64_t number) {
        std::lock_guard<std::mutex> guard(lock_);
        auto found = written_.find(number);
        return found == written_.end() ? Clock::time_point{} : found->second;
    }

private:
    void run() {
        auto next = Clock::now();
        for (uint64_t number = 1; !quit_; ++number) {
            for (int i = 0; i < 8; ++i) {
                frame_[static_cast<size_t>(i) * 3] = static_cast<uint8_t>(number >> (8 * i));
            }
            {
                std::lock_guard<std::mutex> guard(lock_);
                written_[number] = Clock::now();
            }
            server_.writeFrame(frame_.data(), frame_.size());
            next += std::chrono::microseconds(1'000'000 / mode_.rate);
            std::this_thread::sleep_until(next);
        }
    }

    Mode mode_;
    VirtualCameraServer server_;
    std::vector<uint8_t> frame_;
    std::thread thread_;
    std::atomic<bool> quit_{false};
    std::mutex lock_;  // guards written_ between the writing thread and the reader
    std::map<uint64_t, Clock::time_point> written_;
};

// The number a received picture (top row first, `bytesPerPixel` a pixel,
// its blue byte at `blue`) carries.
uint64_t numberIn(const std::vector<uint8_t>& picture, Mode mode, int bytesPerPixel, int blue = 0) {
    size_t lastRow = static_cast<size_t>(mode.height - 1) * mode.width * bytesPerPixel;
    uint64_t number = 0;
    for (int i = 0; i < 8; ++i) {
        number |=
            static_cast<uint64_t>(picture[lastRow + static_cast<size_t>(i) * bytesPerPixel + blue])
            << (8 * i);
    }
    return number;
}

struct RoadFigures {
    double cpu = 0;
    std::vector<double> delaysMs;
};

// Reads the consumer's pictures for `seconds`, timing each new number.
RoadFigures measure(ChildProcess& consumer, pid_t reader, int bytesPerPixel, int seconds,
                    NumberedWriter& writer, Mode mode = {}, int blue = 0) {
    RoadFigures figures;
    std::vector<uint8_t> picture(static_cast<size_t>(mode.width) * mode.height * bytesPerPixel);
    uint64_t last = 0;
    if (!consumer.readExactly(picture.data(), picture.size(), 60s)) {
        return figures;
    }
    auto settled = Clock::now() + 2s;
    double cpuBefore = -1;
    auto end = settled + std::chrono::seconds(seconds);
    // Generous: under an emulated processor a consumer takes long to start.
    while (Clock::now() < end && consumer.readExactly(picture.data(), picture.size(), 30s)) {
        auto now = Clock::now();
        if (now < settled) {
            continue;
        }
        if (cpuBefore < 0) {
            cpuBefore = cpuSeconds(reader);
        }
        uint64_t number = numberIn(picture, mode, bytesPerPixel, blue);
        if (number != last && number != 0) {
            auto written = writer.writtenAt(number);
            if (written != Clock::time_point{}) {
                figures.delaysMs.push_back(
                    std::chrono::duration<double, std::milli>(now - written).count());
            }
            last = number;
        }
    }
    figures.cpu = (cpuSeconds(reader) - cpuBefore) / seconds;
    return figures;
}

void report(const char* road, RoadFigures figures) {
    if (figures.delaysMs.empty()) {
        std::printf("%-34s no pictures came through\n", road);
        return;
    }
    std::sort(figures.delaysMs.begin(), figures.delaysMs.end());
    auto at = [&](double share) {
        return figures.delaysMs[std::min(figures.delaysMs.size() - 1,
                                         static_cast<size_t>(share * figures.delaysMs.size()))];
    };
    std::printf(
        "%-34s CPU %.4f of a core; delay median %.1f ms, 99th percentile %.1f ms "
        "(%zu pictures)\n",
        road, figures.cpu, at(0.5), at(0.99), figures.delaysMs.size());
}

void standardOutputRoad(int seconds, NumberedWriter& writer) {
    ChildProcess reader;
    reader.spawn(programBeside("lumora-vcam"), {"--output", "-", "--format", "bgr24"});
    report("standard output (bgr24, 30 Hz):", measure(reader, reader.pid(), 3, seconds, writer));
    reader.signal(SIGTERM);
    reader.wait();
}

void pipeWireRoad(int seconds, NumberedWriter& writer, const std::string& folder) {
    std::string daemonDir = folder + "/pipewire";
    std::string fixture = std::string(LUMORA_SOURCE_DIR) + "/tools/pipewire-fixture.sh";
    if (std::system((fixture + " start " + daemonDir).c_str()) != 0) {
        std::printf("PipeWire: the private daemon did not start\n");
        return;
    }
    setenv("PIPEWIRE_RUNTIME_DIR", daemonDir.c_str(), 1);
    ChildProcess node;
    node.spawn(programBeside("lumora-vcam"), {"--pipewire"});
    ChildProcess consumer;
    consumer.spawn("/usr/bin/gst-launch-1.0",
                   {"-q", "pipewiresrc", "target-object=lumora-vcam",
                    "stream-properties=p,node.name=lumora-bench-consumer", "!",
                    "video/x-raw,format=BGRx", "!", "fdsink", "fd=1"});
    if (!linkPipeWirePorts("lumora-vcam:out_0", "lumora-bench-consumer:in_0")) {
        std::printf("PipeWire: the consumer could not be linked\n");
    }
    report("PipeWire node (BGRx, 15 fps):", measure(consumer, node.pid(), 4, seconds, writer));
    consumer.signal(SIGTERM);
    consumer.wait();
    node.signal(SIGTERM);
    node.wait();
    if (std::system((fixture + " stop " + daemonDir).c_str()) != 0) {
        std::printf("PipeWire: the private daemon did not stop\n");
    }
}
// The loopback road at one mode: lumora-vcam feeds a fresh device in RGB24
// (which keeps the number's bytes exact) and ffmpeg reads it through V4L2.
void loopbackRoad(int seconds, Mode mode) {
    std::system("modprobe -r v4l2loopback 2>/dev/null");
    if (std::system("modprobe v4l2loopback devices=1 exclusive_caps=1 "
                    "card_label='Lumora直播伴侣'") != 0) {
        std::printf("loopback device: the module did not load\n");
        return;
    }
    NumberedWriter writer(mode);
    ChildProcess feeder;
    feeder.spawn(programBeside("lumora-vcam"), {"--auto", "--format", "rgb24"});
    std::string size = std::to_string(mode.width) + "x" + std::to_string(mode.height);
    ChildProcess consumer;
    for (int attempt = 0; attempt < 100 && consumer.pid() <= 0; ++attempt) {
        std::string format = "/sys/class/video4linux/video0/format";
        std::ifstream current(format);
        std::string line;
        if (std::getline(current, line) && line.find(size) != std::string::npos) {
            consumer.spawn("/usr/bin/ffmpeg", {"-hide_banner", "-loglevel", "error", "-f", "v4l2",
                                               "-i", "/dev/video0", "-fps_mode", "passthrough",
                                               "-f", "rawvideo", "-pix_fmt", "rgb24", "-"});
        } else {
            std::this_thread::sleep_for(100ms);
        }
    }
    std::string road = "loopback " + size + " at " + std::to_string(mode.rate) + " (rgb24):";
    report(road.c_str(), measure(consumer, feeder.pid(), 3, seconds, writer, mode, 2));
    consumer.signal(SIGTERM);
    consumer.wait();
    feeder.signal(SIGTERM);
    feeder.wait();
}
}  // namespace

int main(int argc, char** argv) {
    bool loopback = argc > 1 && std::string(argv[1]) == "--loopback";
    if (loopback) {
        --argc;
        ++argv;
    }
    int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    char folder[] = "/tmp/lumora-road-bench-XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        return 1;
    }
    setenv("XDG_RUNTIME_DIR", folder, 1);
    std::signal(SIGPIPE, SIG_IGN);
    if (loopback) {
        for (Mode mode : {Mode{640, 480, 15}, Mode{1280, 720, 30}, Mode{1920, 1080, 30}}) {
            loopbackRoad(seconds, mode);
        }
    } else {
        NumberedWriter writer;
        standardOutputRoad(seconds, writer);
        pipeWireRoad(seconds, writer, folder);
        std::printf("%-34s bench/loopback_road.sh measures it in a kernel of its own\n",
                    "loopback device:");
    }
    std::filesystem::remove_all(folder);
    return 0;
}
