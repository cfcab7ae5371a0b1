#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <string>
#include <thread>

#include "libs/recorder/live_encoder.h"
#include "libs/recorder/live_pipeline.h"
#include "libs/recorder/live_state.h"
#include "libs/recorder/live_target.h"

// Streams what a LiveEncoder makes live to an RTMP, RTMPS or SRT server,
// through one LivePipeline per connection; the encoder goes on across
// connections and may feed others (a recording) at the same time. A stream that was live and loses
// its server tries again after 1, 2, 4, … at most 30 s; one that never got live, or whose key is
// refused, stops with the reason (LiveState).
//
// The stream key is held in memory only: it goes to the sink as a property,
// and every line this stream logs shows the address without it.
//
// Threads: start, stop and the destructor from one control thread. The
// stream's own thread owns the connections and tells the listener what
// becomes of them (see LiveStreamListener). Locks, each with one purpose:
// - feedLock_: readers of the connection's counters (shared) against the
//   stream's thread replacing the connection (alone, for the swap of one
//   pointer);
// - stateLock_: the state and the time live, between the stream's thread
//   and readers;
// - wakeLock_: the stop request, which ends the stream's thread's waits.
class LiveStream {
public:
    LiveStream();
    ~LiveStream();
    LiveStream(const LiveStream&) = delete;
    LiveStream& operator=(const LiveStream&) = delete;

    // Starts streaming what `encoder` (started) makes to `address` under
    // `key`. False when the address is no stream address (the state is then
    // Stopped with BadUrl, and the listener told so; checked first, so the
    // encoder may be null then), there is no encoder, or a stream already
    // runs. The listener, when given, must outlive the stream.
    bool start(const std::string& address, const std::string& key,
               std::shared_ptr<LiveEncoder> encoder, LiveStreamListener* listener);
    // Ends the stream: the pictures handed to the encoder go out, the server
    // is told the stream ended (at most kDrainLimit), then the connection
    // closes. The encoder goes on for whoever else holds it.
    void stop();

    LiveState state() const;
    LiveStopReason stopReason() const;
    LiveCounters counters() const;

    static constexpr std::chrono::seconds kDrainLimit{2};
    static constexpr std::chrono::seconds kLongestWait{30};
    // A live connection that wrote nothing for this long while pictures came
    // is taken as lost (LiveStall). Players keep two or three seconds in
    // hand, so a network that comes back within this time was not seen by
    // the viewers, and a new connection (which costs them a break) would
    // only hurt; longer, and they stare at a frozen picture that a new
    // connection would end. It is counted from when the kernel stopped
    // taking bytes, after its socket buffers filled.
    static constexpr std::chrono::seconds kStallLimit{5};

private:
    void run();
    // Makes the next connection; false when it cannot be built.
    bool connect();
    // Takes the connection out of the feeders' reach and ends it, cleanly
    // (draining) or at once.
    void disconnect(bool drain);
    // Reads the connection's bus and watches its bytes leave until it fails
    // or a stop is asked for; the reason.
    LiveStopReason watch();
    // Whether stop() asked the stream to end.
    bool stopAsked();
    // The connection's sink has sent: the stream is live from now.
    void noteLive();
    void setState(LiveState state, LiveStopReason reason = LiveStopReason::None);
    // Waits until `until` or a stop; false on a stop.
    bool waitUntil(std::chrono::steady_clock::time_point until);

    std::optional<LiveTarget> target_;
    std::string key_;
    // Kept until the stream is destroyed, so that its counters stay readable.
    std::shared_ptr<LiveEncoder> encoder_;
    LiveStreamListener* listener_ = nullptr;
    std::thread thread_;

    mutable std::shared_mutex feedLock_;
    std::unique_ptr<LivePipeline> pipeline_;  // the connection; replaced under feedLock_

    std::mutex wakeLock_;
    std::condition_variable wake_;
    bool stopping_ = false;

    mutable std::mutex stateLock_;
    LiveState state_ = LiveState::Stopped;
    LiveStopReason reason_ = LiveStopReason::None;
    std::optional<std::chrono::steady_clock::time_point> liveSince_;
    double secondsLiveBefore_ = 0;

    std::atomic<uint64_t> bytesBefore_{0};     // sent by the connections that ended
    std::atomic<uint64_t> picturesBefore_{0};  // likewise, pictures
    uint64_t handedAtStart_ = 0;               // the encoder's count when the stream began
};
