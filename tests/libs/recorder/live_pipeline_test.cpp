#include "libs/recorder/live_pipeline.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "tests/support/rtmp_server.h"

namespace {
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
}  // namespace

// An SRT connection that was given nothing to send has nothing to say: a
// wait for its ending goes on until interrupted, and the interrupt ends the
// wait that follows it at once (a wait of a minute would not end within the
// test's bound). The RTMP connection's interrupt is its publisher's
// (RtmpPublisherTest).
TEST(LivePipelineTest, AnInterruptEndsTheWaitForAnSrtConnectionsEnding) {
    gst_init(nullptr, nullptr);
    const auto target = parseLiveTarget("srt://127.0.0.1:" + std::to_string(unusedLocalPort()));
    ASSERT_TRUE(target.has_value());
    LiveSettings settings;
    settings.sound = false;
    LivePipeline pipeline;
    std::string problem;
    ASSERT_TRUE(pipeline.start(*target, "", settings, &problem)) << problem;

    pipeline.interrupt();
    const auto interrupted = Clock::now();
    EXPECT_FALSE(pipeline.popEnding(60 * GST_SECOND).has_value());
    EXPECT_LT(Clock::now() - interrupted, 30s) << "the interrupt was lost";
    EXPECT_FALSE(pipeline.isLive());
    pipeline.finish(0);
}
