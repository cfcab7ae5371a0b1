#include "libs/capture/frame_delivery.h"

#include <gst/app/gstappsink.h>
#include <gst/video/video.h>

#include <chrono>

#include "base/video_frame.h"

FrameDelivery::FrameDelivery(int32_t width, int32_t height)
    : width_(width),
      height_(height),
      frameBytes_(VideoFrame::Size32(width, height)),
      frame_(new uint8_t[frameBytes_]) {}

void FrameDelivery::prepare(GstElement* appsink) {
    g_object_set(appsink, "emit-signals", TRUE, "max-buffers", 2, "drop", TRUE, nullptr);
}

void FrameDelivery::makeCurrent(GstElement* appsink) {
    std::lock_guard<std::mutex> guard(lock_);
    current_ = appsink;
}

void FrameDelivery::attach(GstElement* appsink) {
    prepare(appsink);
    makeCurrent(appsink);
    g_signal_connect(appsink, "new-sample", G_CALLBACK(&FrameDelivery::onNewSample), this);
}

void FrameDelivery::attachShared(const std::shared_ptr<FrameDelivery>& delivery,
                                 GstElement* appsink) {
    prepare(appsink);
    delivery->makeCurrent(appsink);
    g_signal_connect_data(
        appsink, "new-sample", G_CALLBACK(&FrameDelivery::onNewSampleShared),
        new std::shared_ptr<FrameDelivery>(delivery),
        +[](gpointer keptAlive, GClosure*) {
            delete static_cast<std::shared_ptr<FrameDelivery>*>(keptAlive);
        },
        GConnectFlags(0));
}

void FrameDelivery::attachDecodeProbe(GstElement* element) {
    GstPad* pad = gst_element_get_static_pad(element, "sink");
    if (pad != nullptr) {
        gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, &FrameDelivery::onDecoded, this, nullptr);
        gst_object_unref(pad);
    }
}

namespace {
int64_t steadyNowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
}  // namespace

GstPadProbeReturn FrameDelivery::onDecoded(GstPad*, GstPadProbeInfo* info, gpointer self) {
    auto* delivery = static_cast<FrameDelivery*>(self);
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    if (buffer != nullptr) {
        std::lock_guard<std::mutex> guard(delivery->stampsLock_);
        delivery->stamps_[delivery->nextStamp_++ % std::size(delivery->stamps_)] = {
            GST_BUFFER_PTS(buffer), steadyNowNs()};
    }
    return GST_PAD_PROBE_OK;
}

void FrameDelivery::setReceiver(ISimplyCallBack* receiver) {
    std::lock_guard<std::mutex> guard(lock_);
    receiver_ = receiver;
}

void FrameDelivery::setEnabled(bool enabled) {
    std::lock_guard<std::mutex> guard(lock_);
    enabled_ = enabled;
}

void FrameDelivery::sendMessage(int message) {
    std::lock_guard<std::mutex> guard(lock_);
    if (receiver_ != nullptr) {
        receiver_->OnSimplyCallBack(message, nullptr, 0);
    }
}

void FrameDelivery::setLatencyObserver(LatencyObserver observer, void* context) {
    std::lock_guard<std::mutex> guard(lock_);
    latencyObserver_ = observer;
    latencyContext_ = context;
}

GstFlowReturn FrameDelivery::onNewSample(GstElement* sink, gpointer self) {
    GstSample* sample = gst_app_sink_pull_sample(GST_APP_SINK(sink));
    if (sample != nullptr) {
        static_cast<FrameDelivery*>(self)->deliver(sample, sink);
        gst_sample_unref(sample);
    }
    return GST_FLOW_OK;
}

GstFlowReturn FrameDelivery::onNewSampleShared(GstElement* sink, gpointer keptAlive) {
    return onNewSample(sink, static_cast<std::shared_ptr<FrameDelivery>*>(keptAlive)->get());
}

void FrameDelivery::deliver(GstSample* sample, GstElement* sink) {
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    GstVideoInfo info;
    if (buffer == nullptr || !gst_video_info_from_caps(&info, gst_sample_get_caps(sample)) ||
        GST_VIDEO_INFO_WIDTH(&info) != width_ || GST_VIDEO_INFO_HEIGHT(&info) != height_) {
        return;
    }
    std::lock_guard<std::mutex> guard(lock_);
    if (sink != current_) {
        return;
    }
    ++arrived_;
    if (!enabled_ || receiver_ == nullptr) {
        return;
    }
    GstVideoFrame video;
    if (!gst_video_frame_map(&video, &info, buffer, GST_MAP_READ)) {
        return;
    }
    // Reversing the rows while copying gives the bottom-row-first layout for
    // the price of the copy we make anyway.
    const auto* source = static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&video, 0));
    size_t stride = static_cast<size_t>(GST_VIDEO_FRAME_PLANE_STRIDE(&video, 0));
    size_t rowBytes = static_cast<size_t>(width_) * 4;
    VideoFrame::CopyFlipped(source, stride, frame_.get(), rowBytes, rowBytes, height_);
    gst_video_frame_unmap(&video);
    receiver_->OnSimplyCallBack(MSG_FRAME, frame_.get(), static_cast<long>(frameBytes_));
    ++delivered_;
    if (latencyObserver_ != nullptr) {
        reportLatency(sample, sink);
    }
}

void FrameDelivery::reportLatency(GstSample* sample, GstElement* sink) {
    GstClockTime pts = GST_BUFFER_PTS(gst_sample_get_buffer(sample));
    {
        std::lock_guard<std::mutex> guard(stampsLock_);
        for (const DecodeStamp& stamp : stamps_) {
            if (stamp.pts == pts && GST_CLOCK_TIME_IS_VALID(pts)) {
                latencyObserver_(latencyContext_, steadyNowNs() - stamp.steadyNs);
                return;
            }
        }
    }
    GstClock* clock = gst_element_get_clock(sink);
    GstSegment* segment = gst_sample_get_segment(sample);
    if (clock == nullptr || segment == nullptr || !GST_CLOCK_TIME_IS_VALID(pts)) {
        if (clock != nullptr) {
            gst_object_unref(clock);
        }
        return;
    }
    GstClockTime due = gst_element_get_base_time(sink) +
                       gst_segment_to_running_time(segment, GST_FORMAT_TIME, pts);
    latencyObserver_(latencyContext_,
                     static_cast<int64_t>(gst_clock_get_time(clock)) - static_cast<int64_t>(due));
    gst_object_unref(clock);
}
