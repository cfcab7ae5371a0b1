#pragma once

#include <gst/gst.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "base/simply_callback.h"

// Hands the frames of an appsink to a receiver: each sample (BGRx at the
// output size, top row first) is copied row-reversed into a buffer made once,
// so the receiver gets the engine's bottom-row-first layout and may change the
// bytes in place.
//
// Threads: the appsink's streaming thread delivers; setReceiver, setEnabled
// and sendMessage come from control threads. One lock serialises delivery
// against them, so once setEnabled(false) returns no frame is being delivered
// and none will be until it is enabled again.
class FrameDelivery {
public:
    // Called after each delivered frame with how long it took the frame to
    // reach the receiver: from leaving the decoder when a decode probe is
    // attached (live cameras), else from its presentation time (files, whose
    // frames wait for their moment on purpose).
    using LatencyObserver = void (*)(void* context, int64_t nanoseconds);

    FrameDelivery(int32_t width, int32_t height);
    FrameDelivery(const FrameDelivery&) = delete;
    FrameDelivery& operator=(const FrameDelivery&) = delete;

    // Makes `appsink` deliver here; the sink must outlive its pipeline's run.
    // Only the sink attached last delivers: one still winding down in a
    // pipeline that was replaced is ignored.
    void attach(GstElement* appsink);
    // The same, for a delivery that may be gone before the sink's pipeline
    // is: the sink keeps `delivery` alive for as long as it exists.
    static void attachShared(const std::shared_ptr<FrameDelivery>& delivery, GstElement* appsink);
    // Notes when each frame enters `element` (the first element after the
    // decoder), to time the rest of the road.
    void attachDecodeProbe(GstElement* element);
    void setReceiver(ISimplyCallBack* receiver);
    void setEnabled(bool enabled);
    // Sends a message without data (MSG_STREAM_END) to the receiver.
    void sendMessage(int message);
    void setLatencyObserver(LatencyObserver observer, void* context);

    uint64_t deliveredFrames() const { return delivered_.load(); }
    // Frames that came out of the attached sink, delivered or not (no
    // receiver, disabled): whether the pipeline makes pictures at all.
    uint64_t arrivedFrames() const { return arrived_.load(); }
    size_t frameBytes() const { return frameBytes_; }

private:
    static GstFlowReturn onNewSample(GstElement* sink, gpointer self);
    static GstFlowReturn onNewSampleShared(GstElement* sink, gpointer keptAlive);
    static void prepare(GstElement* appsink);
    void makeCurrent(GstElement* appsink);
    static GstPadProbeReturn onDecoded(GstPad* pad, GstPadProbeInfo* info, gpointer self);
    void deliver(GstSample* sample, GstElement* sink);
    void reportLatency(GstSample* sample, GstElement* sink);

    struct DecodeStamp {
        GstClockTime pts = GST_CLOCK_TIME_NONE;
        int64_t steadyNs = 0;
    };

    int32_t width_;
    int32_t height_;
    size_t frameBytes_;
    std::unique_ptr<uint8_t[]> frame_;
    std::mutex lock_;  // serialises delivery with the control calls
    ISimplyCallBack* receiver_ = nullptr;
    const GstElement* current_ = nullptr;  // the sink that delivers; compared, never used
    bool enabled_ = false;
    LatencyObserver latencyObserver_ = nullptr;
    void* latencyContext_ = nullptr;
    std::atomic<uint64_t> delivered_{0};
    std::atomic<uint64_t> arrived_{0};
    std::mutex stampsLock_;  // guards stamps_, written by the decoder's thread
    DecodeStamp stamps_[16];
    size_t nextStamp_ = 0;
};
