#pragma once

#include <gio/gio.h>
#include <gst/gst.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "libs/recorder/flv_tag_sink.h"
#include "libs/recorder/live_failure.h"
#include "libs/recorder/live_target.h"
#include "libs/recorder/tag_ring.h"

// Publishes the FLV tags it is given to an RTMP or RTMPS server, from one
// thread of its own that connects (RtmpSession), then sends what waits.
// Tags wait in a queue of fixed size and never block whoever gives them.
// Each picture wakes the thread, which then sends every tag that waits in
// one write; sound alone waits for a few blocks (or kLongestNap), so that
// the connection makes a write for each picture rather than one for each
// message.
//
// Threads: take and end from the threads that feed it (never at once), the
// counters, waitEnding and interruptWait from any thread, cancel and the
// destructor from the owner. queueLock_ guards the queue between the
// feeding threads and the sender; endLock_ the ending and an interrupt of
// the wait for it, between the sender (or the interrupter) and whoever
// waits for it.
class RtmpPublisher final : public FlvTagSink {
public:
    // Sound blocks that wait before they wake the sender on their own.
    static constexpr size_t kSoundPerWrite = 8;
    static constexpr std::chrono::milliseconds kLongestNap{200};
    static constexpr size_t kMostQueued = 1024;

    // Starts connecting at once.
    RtmpPublisher(const LiveTarget& target, const std::string& key);
    // Cancels whatever the connection waits for, then closes it.
    ~RtmpPublisher() override;
    RtmpPublisher(const RtmpPublisher&) = delete;
    RtmpPublisher& operator=(const RtmpPublisher&) = delete;

    void take(GstBuffer* tag) override;
    // What waits goes out; then the stream is unpublished and the connection
    // closed, and the ending is clean.
    void end() override;
    uint64_t bytesWaiting(bool sound) const override { return waiting_[sound ? 1 : 0].load(); }

    // Bytes of tags taken, and bytes written to the network since the server
    // accepted the stream (0 before).
    uint64_t bytesTaken() const { return taken_.load(); }
    uint64_t bytesOut() const { return out_.load(); }
    // Bytes the server's side acknowledged, as the sending thread last saw
    // them (after each write, and at least every kLongestNap while it is not
    // held up in one): a server that stopped reading shows as a count that
    // stays. 0 before the server accepted the stream.
    uint64_t bytesAcknowledged() const { return acknowledged_.load(); }

    // How the connection ended, waiting at most `wait` or until
    // interruptWait; empty while it goes on.
    std::optional<LiveEnding> waitEnding(std::chrono::nanoseconds wait);
    // Ends the waitEnding under way, or else the next one, at once.
    void interruptWait();
    // Ends every wait of the connection now; it then ends as failed.
    void cancel();

private:
    void run();
    // Waits for tags worth a write and takes them, at most `most`; *last
    // when the end was asked for and nothing else waits.
    size_t nextBatch(GstBuffer** batch, size_t most, bool* last);
    void release(GstBuffer** batch, size_t count);
    void finishWith(LiveEnding ending);

    const LiveTarget target_;
    const std::string key_;
    GCancellable* cancel_;

    std::mutex queueLock_;
    std::condition_variable wake_;
    TagRing<kMostQueued> queue_;
    size_t soundQueued_ = 0;
    bool worthWriting_ = false;
    bool endAsked_ = false;
    bool overflowed_ = false;
    bool cancelled_ = false;

    std::atomic<uint64_t> waiting_[2] = {0, 0};  // of the rest, of sound
    std::atomic<uint64_t> taken_{0};
    std::atomic<uint64_t> out_{0};
    std::atomic<uint64_t> acknowledged_{0};

    std::mutex endLock_;
    std::condition_variable ended_;
    std::optional<LiveEnding> ending_;
    bool interrupted_ = false;

    std::thread thread_;  // last: starts when everything else is ready
};
