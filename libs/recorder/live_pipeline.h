#pragma once

#include <gst/gst.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "libs/recorder/encoded_feed.h"
#include "libs/recorder/encoded_target.h"
#include "libs/recorder/live_encoder.h"
#include "libs/recorder/live_failure.h"
#include "libs/recorder/live_target.h"

class RtmpPublisher;

// One connection of a live stream, from the first key frame to the end of
// that connection. A stream that loses its server makes a new one
// (LiveStream), so each connection begins with a key frame, fresh headers
// and its own times; the encoders (LiveEncoder) go on across connections.
//
// RTMP and RTMPS get FLV tags made without a muxer (FlvTagTarget), sent by
// a connection of our own (RtmpPublisher); SRT gets MPEG-TS from mpegtsmux
// into srtsink (AppSrcTarget). When the network cannot keep up, what waits
// for it grows, and the feed (EncodedFeed) leaves out what comes until the
// next key frame: what is sent always decodes, nothing queues without
// bound, and the encoders and whatever else they feed never wait for the
// network.
//
// Threads: start and finish from the stream's own thread; the feed is
// given the encoded data on the encoder's threads between them.
class LivePipeline {
public:
    LivePipeline();
    ~LivePipeline();
    LivePipeline(const LivePipeline&) = delete;
    LivePipeline& operator=(const LivePipeline&) = delete;

    // Sets the connection going; it connects on its own (see popEnding).
    // False, with the reason in *problem, when it cannot be built.
    bool start(const LiveTarget& target, const std::string& key, const LiveSettings& settings,
               std::string* problem);

    // Where the encoder's output enters this connection; null before start.
    EncodedFeed* feed() { return feed_.get(); }

    // How the connection ended (failed, or cleanly after finish asked it
    // to), waiting at most `wait` or until interrupt; empty while it goes on.
    std::optional<LiveEnding> popEnding(GstClockTime wait);
    // Ends the popEnding under way, or else the next one, at once. Any thread.
    void interrupt();
    // The server accepted the stream: the connection has sent.
    bool isLive() const { return bytesOut() > 0; }
    // Bytes of the stream the connection took.
    uint64_t bytesSent() const;
    // Bytes the connection wrote to the network (what the kernel took); 0
    // before the server accepted the stream.
    uint64_t bytesOut() const;
    // Bytes the server's side acknowledged over TCP (RTMP); empty for SRT,
    // whose own keep-alive ends a connection whose peer fell silent.
    std::optional<uint64_t> bytesAcknowledged() const;
    // Bytes of encoded pictures and sound waiting in this connection;
    // bounded by the feed however long the network waits. Any thread.
    uint64_t bytesWaiting() const;

    // Ends the stream cleanly (the end of the stream into the feed, so that
    // the server is told the stream ended), waiting at most `limit`, then
    // stops everything. Detach the feed from the encoder first.
    void finish(GstClockTime limit);

private:
    bool startSrt(std::string* problem);
    std::optional<LiveEnding> srtEnding(GstClockTime wait);
    void watchSrtSink();
    static GstPadProbeReturn noteSent(GstPad* pad, GstPadProbeInfo* info, gpointer self);

    std::optional<LiveTarget> target_;
    std::string key_;
    LiveSettings settings_;
    std::unique_ptr<RtmpPublisher> publisher_;  // RTMP and RTMPS
    GstElement* pipeline_ = nullptr;            // SRT
    GstElement* sink_ = nullptr;
    std::unique_ptr<EncodedTarget> input_;  // outlives feed_
    std::unique_ptr<EncodedFeed> feed_;
    std::atomic<uint64_t> srtBytesSent_{0};
};
