// Whether a live stream's memory stays flat while its server is away: streams
// a real graph (a moving ball and each picture's number) with the microphone
// to a local nginx-rtmp server, kills the server, and samples this process's
// anonymous memory (RssAnon) every SAMPLE seconds for OUTAGE seconds while
// the stream tries again with its back-off. Then the server is started again
// and the bench waits (at most 60 s) for the stream to be live and send
// pictures again. Prints every sample, then the first, the highest and the
// last, and how long the stream took to resume.
//
// Needs a sound server (the tests' one) and nginx with its RTMP module; run
// through bench/live_outage_job.sh, which starts the sound server:
//   bench/live_outage_job.sh BUILD_FOLDER [OUTAGE_SECONDS] [SAMPLE_SECONDS]
// Defaults: 600 s of outage, a sample every 10 s.
//   live_outage_bench tries N   N connections to a refused port alone, with
//                               RssAnon every hundred

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/output_mode.h"
#include "bench/live_scene.h"
#include "engine/play_graph.h"
#include "engine/video_effect.h"
#include "engine/video_source.h"
#include "libs/recorder/live_pipeline.h"
#include "libs/recorder/live_target.h"
#include "outputs/live_stream_output.h"
#include "tests/support/rtmp_server.h"

namespace {
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

const std::string kKey = "outageKey7";

// The stream's state as last told, for the bench's thread.
class StateWatch : public LiveStreamListener {
public:
    void onLiveState(LiveState state, LiveStopReason) override {
        state_ = state;
        if (state == LiveState::Live) {
            ++timesLive_;
        }
    }
    LiveState state() const { return state_.load(); }
    int timesLive() const { return timesLive_.load(); }

private:
    std::atomic<LiveState> state_{LiveState::Stopped};
    std::atomic<int> timesLive_{0};
};

// Waits until `done` holds or `limit` passed; whether it held.
template <typename Condition>
bool waitFor(Condition done, Clock::duration limit) {
    const auto deadline = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

const char* stateName(LiveState state) { return liveStateName(state); }

// The connection's part alone: `tries` connections to a port where nothing
// listens, each built, refused and ended as the stream does it while its
// server is away, with RssAnon before, every hundred tries and after.
int measureTries(int tries) {
    gst_init(nullptr, nullptr);
    const std::optional<LiveTarget> target =
        parseLiveTarget("rtmp://127.0.0.1:" + std::to_string(unusedLocalPort()) + "/live");
    LiveSettings settings;
    std::printf("%d tries to a refused port: RssAnon %ld kB before\n", tries,
                statusKb("self", "RssAnon"));
    for (int i = 1; i <= tries; ++i) {
        LivePipeline pipeline;
        std::string problem;
        if (!target || !pipeline.start(*target, kKey, settings, &problem)) {
            std::fprintf(stderr, "no pipeline: %s\n", problem.c_str());
            return 1;
        }
        pipeline.popEnding(5 * GST_SECOND);
        pipeline.finish(0);
        if (i % 100 == 0) {
            std::printf("%5d tries  RssAnon %ld kB\n", i, statusKb("self", "RssAnon"));
            std::fflush(stdout);
        }
    }
    return 0;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc > 2 && std::string(argv[1]) == "tries") {
        return measureTries(std::atoi(argv[2]));
    }
    const int outage = argc > 1 ? std::atoi(argv[1]) : 600;
    const int step = argc > 2 ? std::atoi(argv[2]) : 10;
    if (outage < step || step < 1) {
        std::fprintf(stderr, "usage: live_outage_bench [OUTAGE_SECONDS] [SAMPLE_SECONDS]\n");
        return 2;
    }
    RtmpServer server(kKey);
    std::string problem;
    if (!server.start(&problem)) {
        std::fprintf(stderr, "nginx did not start: %s\n", problem.c_str());
        return 1;
    }
    const OutputMode mode = kStandardMode;
    PlayGraph* graph = PlayGraph::Create(mode.frameRate);
    graph->SetOutputMode(mode);
    BlackSource black(mode);
    MovingBall ball(true);
    graph->SetPlaceholderSource(&black);
    graph->AddEffect(&ball);
    StateWatch watch;
    int status = 0;
    {
        LiveStreamOutput stream(mode.width, mode.height, mode.frameRate);
        if (!stream.start(server.address(), kKey, &watch)) {
            std::fprintf(stderr, "the stream did not start\n");
            return 1;
        }
        std::printf("%dx%d at %d fps to %s, sound: %s\n", mode.width, mode.height, mode.frameRate,
                    server.address().c_str(), stream.hasSound() ? "yes" : "no");
        graph->AddOutput(&stream);
        graph->Start();
        if (!waitFor([&] { return watch.state() == LiveState::Live; }, 60s)) {
            std::fprintf(stderr, "never live\n");
            return 1;
        }
        // Settled: the encoders, the muxer and the allocator's arenas made.
        std::this_thread::sleep_for(20s);
        const long live = statusKb("self", "RssAnon");
        std::printf("live, before the outage: RssAnon %ld kB, %llu pictures sent\n", live,
                    static_cast<unsigned long long>(stream.counters().picturesSent));
        std::fflush(stdout);

        server.kill();
        std::vector<long> samples;
        const auto killed = Clock::now();
        for (int at = step; at <= outage; at += step) {
            std::this_thread::sleep_until(killed + std::chrono::seconds(at));
            const long anon = statusKb("self", "RssAnon");
            samples.push_back(anon);
            const LiveCounters counters = stream.counters();
            std::printf("%4d s  RssAnon %ld kB  %s  %llu left out  %llu bytes waiting\n", at, anon,
                        stateName(watch.state()),
                        static_cast<unsigned long long>(counters.picturesLeftOut),
                        static_cast<unsigned long long>(counters.bytesWaiting));
            std::fflush(stdout);
        }
        const long highest = *std::max_element(samples.begin(), samples.end());
        std::printf("outage of %d s: first %ld kB, max %ld kB, last %ld kB (live before: %ld kB)\n",
                    outage, samples.front(), highest, samples.back(), live);

        const int livesBefore = watch.timesLive();
        if (!server.start(&problem)) {
            std::fprintf(stderr, "nginx did not start again: %s\n", problem.c_str());
            status = 1;
        } else {
            const auto back = Clock::now();
            const bool resumed = waitFor([&] { return watch.timesLive() > livesBefore; }, 60s);
            const double after = std::chrono::duration<double>(Clock::now() - back).count();
            const uint64_t sent = stream.counters().picturesSent;
            const bool sending =
                resumed &&
                waitFor([&] { return stream.counters().picturesSent >= sent + 30; }, 30s);
            std::printf("server back: %s after %.1f s; pictures go on: %s\n",
                        resumed ? "live again" : "NOT live again", after, sending ? "yes" : "no");
            status = sending ? 0 : 1;
        }
        graph->RemoveOutput(&stream);
        stream.stop();
    }
    graph->Stop();
    graph->RemoveEffect(&ball);
    PlayGraph::Destroy(&graph);
    server.stop();
    return status;
}
