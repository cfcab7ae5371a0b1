#pragma once

#include <gst/gst.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "libs/recorder/encoded_feed.h"
#include "libs/recorder/encoded_target.h"
#include "libs/recorder/live_encoder.h"
#include "libs/recorder/live_target.h"

// One connection of a live stream: what muxes and the sink, from the first
// key frame to the end of that connection. A stream that loses its server
// makes a new one (LiveStream), so each connection begins with a key frame,
// fresh headers and its own times; the encoders (LiveEncoder) go on across
// connections.
//
// FLV goes to rtmp2sink, made tag by tag without a muxer (FlvAppSrcTarget);
// MPEG-TS to srtsink through mpegtsmux (AppSrcTarget). When the network
// cannot keep up, the sink blocks, what waits in front of it grows, and the
// feed (EncodedFeed) leaves out what comes until the next key frame: what
// is sent always decodes, nothing queues without bound, and the encoders and
// whatever else they feed never wait for the network.
//
// Threads: start and finish from the stream's own thread; the feed is
// given the encoded data on the encoder's threads between them.
class LivePipeline {
public:
    LivePipeline() = default;
    ~LivePipeline();
    LivePipeline(const LivePipeline&) = delete;
    LivePipeline& operator=(const LivePipeline&) = delete;

    // Builds the pipeline and sets it going; the sink connects on its own
    // (failures come as bus messages, see popFailure). False, with the reason
    // in *problem, when the pipeline cannot be built.
    bool start(const LiveTarget& target, const std::string& key, const LiveSettings& settings,
               std::string* problem);

    // Where the encoder's output enters this connection; null before start.
    EncodedFeed* feed() { return feed_.get(); }

    // The next error or end of stream on the bus, waiting at most `wait`;
    // null when none came. The caller unrefs it.
    GstMessage* popFailure(GstClockTime wait);
    // The server accepted the stream: the sink has sent over a connection.
    bool isLive() const { return bytesOut() > 0; }
    // Bytes handed to the sink.
    uint64_t bytesSent() const { return bytesSent_.load(); }
    // Bytes the sink's connection wrote to the network (what the kernel
    // took); 0 before it has a connection.
    uint64_t bytesOut() const;
    // Bytes of encoded pictures and sound waiting in this connection before
    // the sink; bounded by the feed however long the sink waits. Any thread.
    uint64_t bytesWaiting() const;

    // Ends the stream cleanly (end of stream into the feed, so that the
    // stream is closed and the sink says goodbye to the server), waiting at
    // most `limit`, then stops everything. Detach the feed from the encoder
    // first.
    void finish(GstClockTime limit);

private:
    std::string description(const LiveTarget& target) const;
    std::unique_ptr<EncodedTarget> makeTarget(const LiveTarget& target) const;
    void pointSink(const LiveTarget& target, const std::string& key);
    void watchSink();
    static GstPadProbeReturn noteSent(GstPad* pad, GstPadProbeInfo* info, gpointer self);

    LiveSettings settings_;
    GstElement* pipeline_ = nullptr;
    GstElement* sink_ = nullptr;
    std::unique_ptr<EncodedTarget> target_;  // outlives feed_
    std::unique_ptr<EncodedFeed> feed_;
    std::atomic<uint64_t> bytesSent_{0};
};
