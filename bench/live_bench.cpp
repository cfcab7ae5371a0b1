// What going live costs, beside recording and beside ffmpeg, at one output
// mode, all in one run against a local nginx-rtmp server:
//   (a) recording alone, (b) streaming alone, (c) both at once, each driving
//   a real graph with a moving ball and each picture's number in its band;
//   (d) ffmpeg doing the same kind of job: a generated video with an overlay,
//   x264 (zerolatency, constant bit rate, ultrafast as ours) and AAC, FLV to
//   the same server, in real time (-re).
// For each: processor time per second of picture as a fraction of one core
// (this process for a-c, the ffmpeg child for d), the ratios b/a, c/a and
// b/d, and peak anonymous memory (RssAnon sampled while live, and VmHWM).
// (a)-(d) take turns for ROUNDS rounds; each round's figures are printed,
// then the medians and their ratios.
// Then (e), streaming once more with a reader, for the delay from composing
// a picture (the graph's worker draws its number) to its arrival back from
// the server: the reader (ffmpeg pulling rtmp://127.0.0.1:PORT/live/KEY,
// decoding to raw pictures whose numbers this program reads) notes when
// each number comes. p50 and p99 include that reader's own decode and pipe
// time. The reader decodes on the other core and pipes 4.6 MB/s into this
// process, which slows this process's own threads too, so (b) runs without
// it, as (a) and (c) do; (e)'s cost, the reader thread's time taken out, is
// shown but not compared. The reader's ffmpeg, nginx and the sound server
// count in none of the figures. Under each of (a)-(c) and (e), this
// process's threads by name with their share of a core (their medians with
// the variants'), and the anonymous memory left once each variant ended.
//
// Needs a sound server (the tests' one) and nginx with its RTMP module; run
// through bench/live_job.sh, which starts the sound server:
//   bench/live_job.sh BUILD_FOLDER [standard|720p|1080p] [SECONDS] [ROUNDS]
// or by hand, with PULSE_SERVER set:
//   BUILD_FOLDER/bin/live_bench [standard|720p|1080p] [SECONDS] [ROUNDS]
// Defaults: standard (640 x 480 at 15 fps), 30 s per variant, 3 rounds.

#include <malloc.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/output_mode.h"
#include "bench/live_scene.h"
#include "bench/plain_pipeline.h"
#include "bench/thread_times.h"
#include "engine/play_graph.h"
#include "engine/video_effect.h"
#include "engine/video_source.h"
#include "outputs/live_stream_output.h"
#include "outputs/wmv_record_output.h"
#include "tests/support/child_process.h"
#include "tests/support/frame_number_band.h"
#include "tests/support/rtmp_server.h"
#include "tests/support/test_media.h"

namespace {
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

const std::string kKey = "benchKey42";

int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

// Draws each picture's number, from 1, and notes when it was composed. The
// table is made before the graph runs: nothing is allocated per picture.
class NumberMarker : public VideoEffect {
public:
    explicit NumberMarker(size_t capacity)
        : VideoEffect(EFFECT_ORDER_TEXT + 1000), composedNs_(capacity) {}
    void Process(uint8_t* data, size_t, int32_t width, int32_t height) override {
        const int number = ++painted_;
        FrameNumberBand::draw(data, width, height, number);
        if (static_cast<size_t>(number) < composedNs_.size()) {
            composedNs_[static_cast<size_t>(number)].store(nowNs(), std::memory_order_relaxed);
        }
    }
    // When `number` was composed, in steady-clock nanoseconds; 0 if never.
    int64_t composedAt(int number) const {
        return static_cast<size_t>(number) < composedNs_.size()
                   ? composedNs_[static_cast<size_t>(number)].load(std::memory_order_relaxed)
                   : 0;
    }

private:
    int painted_ = 0;  // only the graph's worker paints
    std::vector<std::atomic<int64_t>> composedNs_;
};

// Processor time (user + system) of another process so far, in seconds.
double childCpuSeconds(pid_t pid) {
    std::string name;
    double seconds = 0;
    return readProcStat("/proc/" + std::to_string(pid) + "/stat", &name, &seconds) ? seconds : 0;
}

// Starts a fresh peak for this process's VmHWM.
void resetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

struct Figures {
    double coreFraction = -1;
    long peakAnonKb = 0;
    long peakResidentKb = 0;
    // RssAnon once the variant ended and the heap's free memory went back
    // to the system: what a stream or recording left behind (ours only).
    long anonAfterKb = 0;
    std::vector<double> delaysMs;
    std::vector<ThreadTimes::Share> threads;  // this process's, by name (not for d)
};

// Waits `length`, noting the highest RssAnon of `pid` meanwhile.
long sampleAnonWhile(const std::string& pid, std::chrono::seconds length) {
    long peak = 0;
    const auto end = Clock::now() + length;
    while (Clock::now() < end) {
        peak = std::max(peak, statusKb(pid, "RssAnon"));
        std::this_thread::sleep_for(std::min<Clock::duration>(100ms, end - Clock::now()));
    }
    return peak;
}

// Pulls the stream back from the server and notes when each picture number
// arrives, on a thread of its own, until stopped.
class ArrivalReader {
public:
    // Pictures of `mode`'s shape, made small.
    ArrivalReader(const NumberMarker& marker, const OutputMode& mode)
        : marker_(marker), height_(kWidth * mode.height / mode.width) {}

    bool start(const std::string& url) {
        frame_.resize(static_cast<size_t>(kWidth) * height_ * 4);
        // One decoding thread and no input buffering: the decoder itself
        // holds no pictures back. The pictures read while it probes the
        // stream's tracks come late, in a burst, and are not counted.
        if (!ffmpeg_.spawn("/usr/bin/ffmpeg", {"-v",
                                               "error",
                                               "-nostdin",
                                               "-fflags",
                                               "nobuffer",
                                               "-flags",
                                               "low_delay",
                                               "-analyzeduration",
                                               "2000000",
                                               "-threads",
                                               "1",
                                               "-i",
                                               url,
                                               "-map",
                                               "0:v:0",
                                               "-fps_mode",
                                               "passthrough",
                                               "-vf",
                                               "scale=" + std::to_string(kWidth) + ":" +
                                                   std::to_string(height_) + ",vflip",
                                               "-pix_fmt",
                                               "bgra",
                                               "-f",
                                               "rawvideo",
                                               "-flush_packets",
                                               "1",
                                               "-"})) {
            return false;
        }
        thread_ = std::thread([this] { run(); });
        return true;
    }

    // Ends the reader; the delays of the pictures that came more than two
    // seconds after its first (the probe's burst comes before).
    std::vector<double> stop() {
        ffmpeg_.signal(SIGTERM);
        if (thread_.joinable()) {
            thread_.join();
        }
        ffmpeg_.wait(10s);
        std::vector<double> delays;
        for (size_t i = 0; i < arrivals_.size(); ++i) {
            const int64_t composed = marker_.composedAt(arrivals_[i].first);
            if (composed != 0 && arrivals_[i].second - arrivals_.front().second > kBurstNs) {
                delays.push_back(static_cast<double>(arrivals_[i].second - composed) / 1e6);
            }
        }
        return delays;
    }
    double threadCpuSeconds() const { return threadCpu_; }
    size_t picturesRead() const { return pictures_; }

private:
    // Small pictures, the shape kept so that the band is where read()
    // looks: its cells stay many pixels wide.
    static constexpr int kWidth = 320;
    static constexpr int64_t kBurstNs = 2'000'000'000;

    void run() {
        arrivals_.reserve(1 << 16);
        while (ffmpeg_.readExactly(frame_.data(), frame_.size(), 10s)) {
            const int64_t arrived = nowNs();
            ++pictures_;
            std::optional<int> number = FrameNumberBand::read(frame_.data(), kWidth, height_);
            if (number && (arrivals_.empty() || *number > arrivals_.back().first)) {
                arrivals_.emplace_back(*number, arrived);
            }
        }
        timespec cpu{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu);
        threadCpu_ = static_cast<double>(cpu.tv_sec) + static_cast<double>(cpu.tv_nsec) / 1e9;
    }

    const NumberMarker& marker_;
    const int height_;
    ChildProcess ffmpeg_;
    std::thread thread_;
    std::vector<uint8_t> frame_;
    std::vector<std::pair<int, int64_t>> arrivals_;  // written by the thread only until joined
    size_t pictures_ = 0;
    double threadCpu_ = 0;
};

struct Variant {
    bool record = false;
    bool stream = false;
    bool readBack = false;  // a reader pulls the stream back from the server
};

// Runs the graph with the variant's outputs for `length`; its figures.
Figures runOurs(const Variant& variant, const OutputMode& mode, std::chrono::seconds length,
                RtmpServer& server, const ScratchDir& dir) {
    PlayGraph* graph = PlayGraph::Create(mode.frameRate);
    graph->SetOutputMode(mode);
    BlackSource black(mode);
    MovingBall ball;
    NumberMarker marker(static_cast<size_t>(mode.frameRate) * (length.count() + 60));
    graph->SetPlaceholderSource(&black);
    graph->AddEffect(&ball);
    graph->AddEffect(&marker);
    Figures figures;
    {
        const std::string file = dir.file(variant.stream ? "beside-stream.flv" : "alone.flv");
        std::unique_ptr<WmvRecordOutput> recording;
        std::unique_ptr<LiveStreamOutput> stream;
        bool ready = true;
        // The stream first: a recording started while it runs takes its
        // encoded pictures and sound.
        if (variant.stream) {
            stream = std::make_unique<LiveStreamOutput>(mode.width, mode.height, mode.frameRate);
            ready = stream->start(server.address(), kKey);
            if (ready) {
                graph->AddOutput(stream.get());
            }
        }
        if (ready && variant.record) {
            recording = std::make_unique<WmvRecordOutput>(
                std::wstring(file.begin(), file.end()), mode.frameRate, RECORD_SOUND | RECORD_VIDEO,
                mode.width, mode.height);
            ready = recording->start();
            if (ready) {
                graph->AddOutput(recording.get());
            }
        }
        if (!ready) {
            std::fprintf(stderr, "an output did not start (is PULSE_SERVER set?)\n");
        } else {
            resetPeak();
            ThreadTimes threads;
            threads.start();
            const double before = processCpuSeconds();
            const auto started = Clock::now();
            graph->Start();
            ArrivalReader reader(marker, mode);
            bool reading = false;
            if (variant.stream && variant.readBack) {
                const auto deadline = Clock::now() + 20s;
                while (stream->state() != LiveState::Live && Clock::now() < deadline) {
                    std::this_thread::sleep_for(20ms);
                }
                reading = reader.start(server.address() + "/" + kKey);
            }
            const auto left =
                length - std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - started);
            figures.peakAnonKb = sampleAnonWhile("self", std::max(left, std::chrono::seconds(1)));
            figures.peakResidentKb = statusKb("self", "VmHWM");
            const double wall = std::chrono::duration<double>(Clock::now() - started).count();
            const double cpu = processCpuSeconds() - before;
            figures.threads = threads.since(wall);
            if (reading) {
                figures.delaysMs = reader.stop();
                figures.coreFraction = (cpu - reader.threadCpuSeconds()) / wall;
                std::printf("  reader: %zu pictures decoded, %zu delays\n", reader.picturesRead(),
                            figures.delaysMs.size());
            } else {
                figures.coreFraction = cpu / wall;
            }
            if (stream) {
                graph->RemoveOutput(stream.get());
                stream->stop();
                LiveCounters counters = stream->counters();
                std::printf("  stream: %llu pictures sent, %llu left out, %.0f kbit/s\n",
                            static_cast<unsigned long long>(counters.picturesSent),
                            static_cast<unsigned long long>(counters.picturesLeftOut),
                            counters.kbitsPerSecond());
            }
            if (recording) {
                graph->RemoveOutput(recording.get());
            }
        }
        graph->Stop();
        if (recording) {
            recording->stop();
        }
    }
    graph->RemoveEffect(&marker);
    graph->RemoveEffect(&ball);
    PlayGraph::Destroy(&graph);
    malloc_trim(0);
    figures.anonAfterKb = statusKb("self", "RssAnon");
    return figures;
}

// ffmpeg's own command for the same kind of job, to the same server.
Figures runFfmpeg(const OutputMode& mode, int kbps, std::chrono::seconds length,
                  RtmpServer& server) {
    const std::string size = std::to_string(mode.width) + "x" + std::to_string(mode.height);
    const std::string fps = std::to_string(mode.frameRate);
    const std::string rate = std::to_string(kbps) + "k";
    const double seconds = static_cast<double>(length.count()) + 30;
    const std::string dot = std::to_string(mode.height / 12);
    // The same picture as ours: a white dot (square here) on black, moving
    // on the same path, then the numbered band; an input of its own, so
    // that -re paces it.
    const std::string body = "color=c=black:s=" + size + ":r=" + fps +
                             "[bg];color=c=white:s=" + dot + "x" + dot + ":r=" + fps +
                             "[dot];[bg][dot]overlay=eval=frame:x='W/2+0.4*W*sin(n*0.07)-w/2':"
                             "y='H/2+0.35*H*cos(n*0.05)-h/2'[body];";
    ChildProcess ffmpeg;
    Figures figures;
    if (!ffmpeg.spawn("/usr/bin/ffmpeg",
                      {"-v",
                       "error",
                       "-nostdin",
                       "-re",
                       "-f",
                       "lavfi",
                       "-i",
                       body + FrameNumberBand::overlayFilter(mode.frameRate, seconds) + "[out0]",
                       "-re",
                       "-f",
                       "lavfi",
                       "-i",
                       "sine=f=440:sample_rate=48000",
                       "-map",
                       "0:v",
                       "-map",
                       "1:a",
                       "-c:v",
                       "libx264",
                       "-preset",
                       "ultrafast",
                       "-tune",
                       "zerolatency",
                       "-b:v",
                       rate,
                       "-maxrate",
                       rate,
                       "-bufsize",
                       rate,
                       "-g",
                       std::to_string(2 * mode.frameRate),
                       "-bf",
                       "0",
                       "-pix_fmt",
                       "yuv420p",
                       "-c:a",
                       "aac",
                       "-b:a",
                       "128k",
                       "-ac",
                       "2",
                       "-ar",
                       "48000",
                       "-f",
                       "flv",
                       server.address() + "/" + kKey})) {
        return figures;
    }
    const std::string pid = std::to_string(ffmpeg.pid());
    const auto started = Clock::now();
    const double before = childCpuSeconds(ffmpeg.pid());
    figures.peakAnonKb = sampleAnonWhile(pid, length);
    figures.peakResidentKb = statusKb(pid, "VmHWM");
    const double cpu = childCpuSeconds(ffmpeg.pid()) - before;
    const double wall = std::chrono::duration<double>(Clock::now() - started).count();
    if (figures.peakResidentKb > 0) {  // still running at the end: it did the job
        figures.coreFraction = cpu / wall;
    }
    ffmpeg.signal(SIGTERM);
    ffmpeg.wait(10s);
    return figures;
}

double percentile(std::vector<double> values, double fraction) {
    if (values.empty()) {
        return -1;
    }
    std::sort(values.begin(), values.end());
    const size_t at = static_cast<size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(at, values.size() - 1)];
}

void printFigures(const char* name, const Figures& figures, bool withThreads = true) {
    std::printf("%-28s %.3f core   peak anon %.1f MiB   VmHWM %.1f MiB", name, figures.coreFraction,
                static_cast<double>(figures.peakAnonKb) / 1024,
                static_cast<double>(figures.peakResidentKb) / 1024);
    if (figures.anonAfterKb > 0) {
        std::printf("   anon after %.1f MiB", static_cast<double>(figures.anonAfterKb) / 1024);
    }
    std::printf("\n");
    for (size_t i = 0; withThreads && i < figures.threads.size(); ++i) {
        const ThreadTimes::Share& share = figures.threads[i];
        std::printf("    %-24s x%-2d %.4f core\n", share.name.c_str(), share.threads,
                    share.coreFraction);
    }
    std::fflush(stdout);
}

// A thread's name without the numbers GStreamer gives each new element
// ("queue9:src" is "queue:src"), so that each round's are counted together.
std::string unnumbered(const std::string& name) {
    std::string plain;
    for (char c : name) {
        if (c < '0' || c > '9') {
            plain += c;
        }
    }
    return plain;
}

// Each named thread's median share over the rounds (0 in a round without
// it), busiest first.
std::vector<ThreadTimes::Share> threadMedians(const std::vector<Figures>& rounds) {
    std::map<std::string, std::vector<double>> shares;
    std::map<std::string, int> counts;
    for (const Figures& round : rounds) {
        std::map<std::string, double> inRound;
        for (const ThreadTimes::Share& share : round.threads) {
            const std::string name = unnumbered(share.name);
            inRound[name] += share.coreFraction;
            counts[name] = std::max(counts[name], share.threads);
        }
        for (const auto& [name, share] : inRound) {
            shares[name].push_back(share);
        }
    }
    std::vector<ThreadTimes::Share> middle;
    for (auto& [name, values] : shares) {
        values.resize(rounds.size(), 0.0);
        middle.push_back({name, counts[name], percentile(values, 0.5)});
    }
    std::sort(middle.begin(), middle.end(),
              [](const auto& a, const auto& b) { return a.coreFraction > b.coreFraction; });
    return middle;
}

// The middle of the rounds' figures for one variant: its median core share
// (percentile's, the upper of the middle two for an even count of rounds)
// and each thread's, the first round's peak memory (later rounds also hold
// what the earlier ones left in this process's heap), and the last round's
// memory left after.
Figures middleOf(const std::vector<Figures>& rounds) {
    Figures middle;
    if (!rounds.empty()) {
        middle.peakAnonKb = rounds.front().peakAnonKb;
        middle.peakResidentKb = rounds.front().peakResidentKb;
        middle.anonAfterKb = rounds.back().anonAfterKb;
    }
    std::vector<double> cores;
    for (const Figures& round : rounds) {
        cores.push_back(round.coreFraction);
    }
    middle.coreFraction = percentile(cores, 0.5);
    middle.threads = threadMedians(rounds);
    return middle;
}

double ratio(const Figures& a, const Figures& b) {
    return a.coreFraction > 0 && b.coreFraction > 0 ? a.coreFraction / b.coreFraction : -1;
}
}  // namespace

int main(int argc, char** argv) {
    const std::string modeName = argc > 1 ? argv[1] : "standard";
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 30;
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 3;
    OutputMode mode = kStandardMode;
    int kbps = 1500;  // the stream's own default at each size
    if (modeName == "720p") {
        mode = kHd720Mode;
        kbps = 3000;
    } else if (modeName == "1080p") {
        mode = kHd1080Mode;
        kbps = 4500;
    } else if (modeName != "standard" || seconds < 3 || rounds < 1) {
        std::fprintf(stderr,
                     "usage: live_bench [standard|720p|1080p] [SECONDS, at least 3] [ROUNDS]\n");
        return 2;
    }
    const std::chrono::seconds length(seconds);
    RtmpServer server(kKey);
    std::string problem;
    if (!server.start(&problem)) {
        std::fprintf(stderr, "nginx did not start: %s\n", problem.c_str());
        return 1;
    }
    ScratchDir dir;
    std::printf("%dx%d at %d fps, %d s a variant, %d rounds, server %s\n", mode.width, mode.height,
                mode.frameRate, seconds, rounds, server.address().c_str());
    std::fflush(stdout);

    // The variants take turns, round after round, so that what the machine
    // does meanwhile (its other guests, its clock speed) falls on all of
    // them alike; the medians are compared.
    std::vector<Figures> recording, streaming, both, ffmpeg;
    for (int round = 1; round <= rounds; ++round) {
        const bool last = round == rounds;
        std::printf("round %d of %d\n", round, rounds);
        recording.push_back(runOurs({true, false}, mode, length, server, dir));
        printFigures("(a) recording alone", recording.back(), last);
        streaming.push_back(runOurs({false, true}, mode, length, server, dir));
        printFigures("(b) streaming alone", streaming.back(), last);
        both.push_back(runOurs({true, true}, mode, length, server, dir));
        printFigures("(c) recording and streaming", both.back(), last);
        ffmpeg.push_back(runFfmpeg(mode, kbps, length, server));
        printFigures("(d) ffmpeg to the server", ffmpeg.back(), last);
        std::printf("  round %d: b/a %.2f   c/a %.2f   b/d %.2f\n", round,
                    ratio(streaming.back(), recording.back()), ratio(both.back(), recording.back()),
                    ratio(streaming.back(), ffmpeg.back()));
    }
    const Figures readBack = runOurs({false, true, true}, mode, length, server, dir);
    printFigures("(e) streaming, read back", readBack);

    std::printf("medians of %d rounds:\n", rounds);
    const Figures a = middleOf(recording), b = middleOf(streaming), c = middleOf(both),
                  d = middleOf(ffmpeg);
    printFigures("(a) recording alone", a);
    printFigures("(b) streaming alone", b);
    printFigures("(c) recording and streaming", c);
    printFigures("(d) ffmpeg to the server", d);
    std::printf("b/a %.2f   c/a %.2f   b/d %.2f\n", ratio(b, a), ratio(c, a), ratio(b, d));
    std::printf(
        "delay composed -> read back from the server (reader's decode included): "
        "p50 %.1f ms, p99 %.1f ms over %zu pictures\n",
        percentile(readBack.delaysMs, 0.5), percentile(readBack.delaysMs, 0.99),
        readBack.delaysMs.size());
    server.stop();
    return 0;
}
