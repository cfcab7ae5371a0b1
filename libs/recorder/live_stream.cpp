#include "libs/recorder/live_stream.h"

#include <gst/gst.h>
#include <pthread.h>

#include <algorithm>

#include "base/debug_log.h"
#include "libs/recorder/live_stall.h"

namespace {
using Clock = std::chrono::steady_clock;
// How often the stream's thread looks at its connection: until the server
// accepts the stream, so that going live shows at once; once live, for a
// connection that stalled (kStallLimit), so a wake-up a second costs next
// to nothing. A stop or a failure ends the wait at once.
constexpr GstClockTime kConnectingStep = 50 * GST_MSECOND;
constexpr GstClockTime kLiveStep = GST_SECOND;

// How long stop() waits for the encoder to turn the pictures already
// handed to it into what the connection sends.
constexpr std::chrono::milliseconds kEncoderCatchUp{1000};
}  // namespace

LiveStream::LiveStream() { gst_init(nullptr, nullptr); }

LiveStream::~LiveStream() { stop(); }

bool LiveStream::start(const std::string& address, const std::string& key,
                       std::shared_ptr<LiveEncoder> encoder, LiveStreamListener* listener) {
    if (thread_.joinable()) {
        return false;
    }
    listener_ = listener;
    target_ = parseLiveTarget(address);
    if (!target_) {
        // The address is not logged: a key pasted into it would go along.
        debugLog("LiveStream, not a stream address (%zu characters)", address.size());
        setState(LiveState::Stopped, LiveStopReason::BadUrl);
        return false;
    }
    if (!encoder) {
        return false;
    }
    key_ = key;
    encoder_ = std::move(encoder);
    {
        std::lock_guard<std::mutex> guard(wakeLock_);
        stopping_ = false;
    }
    picturesBefore_ = 0;
    bytesBefore_ = 0;
    handedAtStart_ = encoder_->picturesHanded();
    {
        std::lock_guard<std::mutex> guard(stateLock_);
        liveSince_.reset();
        secondsLiveBefore_ = 0;
    }
    setState(LiveState::Connecting);
    thread_ = std::thread([this] { run(); });
    return true;
}

void LiveStream::stop() {
    // The pictures already handed over reach the connection before its end.
    if (encoder_ && thread_.joinable() && state() != LiveState::Stopped) {
        encoder_->waitForPictures(kEncoderCatchUp);
    }
    {
        std::lock_guard<std::mutex> guard(wakeLock_);
        stopping_ = true;
    }
    wake_.notify_all();
    {
        std::shared_lock<std::shared_mutex> guard(feedLock_);
        if (pipeline_) {
            pipeline_->interrupt();  // the watch sees the stop now
        }
    }
    if (thread_.joinable()) {
        thread_.join();
    }
}

void LiveStream::run() {
    pthread_setname_np(pthread_self(), "live:watch");  // for a look at what each thread costs
    int failures = 0;
    bool everLive = false;
    for (;;) {
        if (!connect()) {
            setState(LiveState::Stopped, LiveStopReason::Failed);
            return;
        }
        LiveStopReason reason = watch();
        if (reason == LiveStopReason::Requested) {
            disconnect(true);
            setState(LiveState::Stopped, LiveStopReason::Requested);
            return;
        }
        disconnect(false);
        everLive = everLive || state() == LiveState::Live;
        if (!everLive || !retriesAfter(reason)) {
            setState(LiveState::Stopped, reason);
            return;
        }
        if (state() == LiveState::Live) {
            failures = 0;  // it was live since the last failure: start the waits anew
        }
        setState(LiveState::Reconnecting);
        const auto wait = std::min<std::chrono::seconds>(
            std::chrono::seconds(1 << std::min(failures, 5)), kLongestWait);
        ++failures;
        debugLog("LiveStream, %s lost (%s); trying again in %lld s", target_->shown().c_str(),
                 liveStopReasonName(reason), static_cast<long long>(wait.count()));
        if (!waitUntil(Clock::now() + wait)) {
            setState(LiveState::Stopped, LiveStopReason::Requested);
            return;
        }
    }
}

bool LiveStream::connect() {
    auto next = std::make_unique<LivePipeline>();
    std::string problem;
    debugLog("LiveStream, connecting to %s", target_->shown().c_str());
    if (!next->start(*target_, key_, encoder_->settings(), &problem)) {
        debugLog("LiveStream, cannot stream: %s", withoutKey(problem, key_).c_str());
        return false;
    }
    encoder_->attach(next->feed());
    std::unique_lock<std::shared_mutex> guard(feedLock_);
    pipeline_ = std::move(next);
    return true;
}

void LiveStream::disconnect(bool drain) {
    std::unique_ptr<LivePipeline> ending;
    {
        std::unique_lock<std::shared_mutex> guard(feedLock_);
        ending = std::move(pipeline_);
    }
    if (!ending) {
        return;
    }
    encoder_->detach(ending->feed());
    bytesBefore_ += ending->bytesSent();
    picturesBefore_ += ending->feed()->picturesTaken();
    // A connection that never got through has nothing to drain: its sink
    // would only keep waiting for the server.
    const bool clean = drain && ending->isLive();
    ending->finish(clean ? std::chrono::duration_cast<std::chrono::nanoseconds>(kDrainLimit).count()
                         : 0);
    std::lock_guard<std::mutex> guard(stateLock_);
    if (liveSince_) {
        secondsLiveBefore_ += std::chrono::duration<double>(Clock::now() - *liveSince_).count();
        liveSince_.reset();
    }
}

LiveStopReason LiveStream::watch() {
    LiveStall stall(kStallLimit);
    while (!stopAsked()) {
        const GstClockTime step = state() == LiveState::Live ? kLiveStep : kConnectingStep;
        if (std::optional<LiveEnding> ending = pipeline_->popEnding(step)) {
            // A clean end nobody asked for: the server ended the stream.
            const LiveStopReason reason = ending->clean ? LiveStopReason::Failed : ending->reason;
            debugLog("LiveStream, %s: %s (%s)", target_->shown().c_str(),
                     withoutKey(ending->text, key_).c_str(), liveStopReasonName(reason));
            return reason;
        }
        const uint64_t bytesOut = pipeline_->bytesOut();
        if (bytesOut > 0 && state() != LiveState::Live) {
            noteLive();
        }
        // Before it is live, the connection's own time limit on each step
        // covers a silent server. Over TCP what left is what the server
        // acknowledged.
        const std::optional<uint64_t> acknowledged = pipeline_->bytesAcknowledged();
        if (bytesOut > 0 &&
            stall.stalled(acknowledged.value_or(bytesOut),
                          encoder_->picturesHanded() - handedAtStart_, Clock::now())) {
            debugLog("LiveStream, %s took nothing for %lld s", target_->shown().c_str(),
                     static_cast<long long>(kStallLimit.count()));
            return LiveStopReason::NoAnswer;
        }
    }
    return LiveStopReason::Requested;
}

bool LiveStream::stopAsked() {
    std::lock_guard<std::mutex> guard(wakeLock_);
    return stopping_;
}

void LiveStream::noteLive() {
    {
        std::lock_guard<std::mutex> guard(stateLock_);
        liveSince_ = Clock::now();
    }
    debugLog("LiveStream, live at %s", target_->shown().c_str());
    setState(LiveState::Live);
}

bool LiveStream::waitUntil(Clock::time_point until) {
    std::unique_lock<std::mutex> guard(wakeLock_);
    return !wake_.wait_until(guard, until, [this] { return stopping_; });
}

void LiveStream::setState(LiveState state, LiveStopReason reason) {
    {
        std::lock_guard<std::mutex> guard(stateLock_);
        if (state_ == state && reason_ == reason) {
            return;
        }
        state_ = state;
        reason_ = reason;
    }
    if (listener_ != nullptr) {
        listener_->onLiveState(state, reason);
    }
}

LiveState LiveStream::state() const {
    std::lock_guard<std::mutex> guard(stateLock_);
    return state_;
}

LiveStopReason LiveStream::stopReason() const {
    std::lock_guard<std::mutex> guard(stateLock_);
    return reason_;
}

LiveCounters LiveStream::counters() const {
    LiveCounters counters;
    {
        std::lock_guard<std::mutex> guard(stateLock_);
        counters.secondsLive = secondsLiveBefore_;
        if (liveSince_) {
            counters.secondsLive +=
                std::chrono::duration<double>(Clock::now() - *liveSince_).count();
        }
    }
    counters.bytesSent = bytesBefore_.load();
    counters.picturesSent = picturesBefore_.load();
    {
        std::shared_lock<std::shared_mutex> guard(feedLock_);
        if (pipeline_) {
            counters.bytesSent += pipeline_->bytesSent();
            counters.bytesWaiting = pipeline_->bytesWaiting();
            counters.picturesSent += pipeline_->feed()->picturesTaken();
        }
    }
    if (encoder_) {
        counters.bytesWaiting += encoder_->bytesWaiting();
        // What the stream did not send of what it was given: left out
        // before the encoder, behind a slow network, while reconnecting,
        // or (for a moment) still in the encoder.
        const uint64_t handed = encoder_->picturesHanded() - handedAtStart_;
        counters.picturesLeftOut =
            handed > counters.picturesSent ? handed - counters.picturesSent : 0;
    }
    return counters;
}
