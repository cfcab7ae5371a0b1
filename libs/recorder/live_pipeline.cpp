#include "libs/recorder/live_pipeline.h"

#include <algorithm>

#include "libs/recorder/appsrc_target.h"
#include "libs/recorder/flv_appsrc_target.h"
#include "libs/recorder/muxer_tags.h"

namespace {
// What may wait in front of a connection's sink: a second of pictures at
// twice the bit rate (a key frame is several times an ordinary picture), at
// least 256 KiB, and two seconds of sound.
uint64_t mostVideoBytes(const LiveSettings& settings) {
    const int kbps = settings.videoKbps > 0 ? settings.videoKbps
                                            : defaultLiveKbps(settings.width, settings.height);
    return std::max<uint64_t>(256u << 10, static_cast<uint64_t>(kbps) * 1000 / 8 * 2);
}
constexpr uint64_t kMostSoundBytes = 2 * 128000 / 8;
}  // namespace

LivePipeline::~LivePipeline() { finish(0); }

std::string LivePipeline::description(const LiveTarget& target) const {
    // The sinks do not wait for the clock: what is ready goes out at once.
    if (target.kind == LiveTarget::Kind::Srt) {
        // The encoded pictures and sound come whole and in time order, each
        // from its encoder; the muxer interleaves them by time. A receiver
        // joining an MPEG-TS stream midway needs the parameter sets with
        // every key frame; FLV carries them once, in its header.
        const std::string sound =
            settings_.sound ? "appsrc name=sound format=time is-live=false block=false ! aacparse "
                              "! mux. "
                            : std::string();
        return "mpegtsmux name=mux alignment=7 ! srtsink name=sink sync=false "
               "appsrc name=video format=time is-live=false block=false "
               "! h264parse config-interval=-1 ! video/x-h264,stream-format=byte-stream ! mux. " +
               sound;
    }
    // RTMP's first chunk size, 128 bytes, cuts a 1500 kbit/s stream into
    // about 1,500 chunks a second; 4 KiB chunks, as other publishers send,
    // spare the connection's thread most of that work.
    return "appsrc name=flv format=time is-live=false block=false "
           "! rtmp2sink name=sink sync=false chunk-size=4096";
}

std::unique_ptr<EncodedTarget> LivePipeline::makeTarget(const LiveTarget& target) const {
    if (target.kind == LiveTarget::Kind::Srt) {
        dropTagsIntoMuxer(pipeline_);
        return std::make_unique<AppSrcTarget>(pipeline_);
    }
    FlvAppSrcTarget::Stream stream;
    stream.width = settings_.width;
    stream.height = settings_.height;
    stream.frameRate = settings_.frameRate;
    stream.sound = settings_.sound;
    return std::make_unique<FlvAppSrcTarget>(pipeline_, stream);
}

// The address and key go in as properties, never through the description,
// which GStreamer may quote in its own messages.
void LivePipeline::pointSink(const LiveTarget& target, const std::string& key) {
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline_), "sink");
    if (target.kind == LiveTarget::Kind::Srt) {
        g_object_set(sink, "uri", target.sinkLocation(key).c_str(), nullptr);
        if (!key.empty()) {
            g_object_set(sink, "passphrase", key.c_str(), nullptr);
        }
    } else {
        g_object_set(sink, "location", target.sinkLocation(key).c_str(), nullptr);
    }
    gst_object_unref(sink);
}

void LivePipeline::watchSink() {
    sink_ = gst_bin_get_by_name(GST_BIN(pipeline_), "sink");
    GstPad* pad = gst_element_get_static_pad(sink_, "sink");
    gst_pad_add_probe(
        pad,
        static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_BUFFER_LIST),
        &LivePipeline::noteSent, this, nullptr);
    gst_object_unref(pad);
}

// Both sinks take buffers before they have a connection (rtmp2sink keeps the
// FLV header and the first tags to send once connected; srtsink connects a
// caller in the background and fails its first write when nothing answers),
// so the buffers they took say nothing; their statistics come from a
// connection once there is one, and are all zero before.
uint64_t LivePipeline::bytesOut() const {
    if (sink_ == nullptr) {
        return 0;
    }
    GstStructure* stats = nullptr;
    g_object_get(sink_, "stats", &stats, nullptr);
    guint64 sent = 0;
    if (stats != nullptr) {
        for (const char* field : {"out-bytes-total", "bytes-sent", "bytes-sent-total"}) {
            guint64 value = 0;
            if (gst_structure_get_uint64(stats, field, &value)) {
                sent = std::max(sent, value);
            }
        }
        gst_structure_free(stats);
    }
    return sent;
}

uint64_t LivePipeline::bytesWaiting() const { return feed_ ? feed_->bytesWaiting() : 0; }

// On the thread that feeds the sink, before it renders each buffer.
GstPadProbeReturn LivePipeline::noteSent(GstPad*, GstPadProbeInfo* info, gpointer self) {
    auto* pipeline = static_cast<LivePipeline*>(self);
    gsize bytes = 0;
    if ((GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_BUFFER) != 0) {
        bytes = gst_buffer_get_size(GST_PAD_PROBE_INFO_BUFFER(info));
    } else {
        bytes = gst_buffer_list_calculate_size(GST_PAD_PROBE_INFO_BUFFER_LIST(info));
    }
    pipeline->bytesSent_.fetch_add(bytes);
    return GST_PAD_PROBE_OK;
}

bool LivePipeline::start(const LiveTarget& target, const std::string& key,
                         const LiveSettings& settings, std::string* problem) {
    settings_ = settings;
    GError* error = nullptr;
    pipeline_ = gst_parse_launch(description(target).c_str(), &error);
    if (pipeline_ == nullptr || error != nullptr) {
        *problem = error != nullptr ? error->message : "the pipeline cannot be built";
        g_clear_error(&error);
        finish(0);
        return false;
    }
    pointSink(target, key);
    watchSink();
    target_ = makeTarget(target);
    feed_ = std::make_unique<EncodedFeed>(*target_, mostVideoBytes(settings), kMostSoundBytes);
    // A sink that cannot connect fails the change of state; its error is on
    // the bus, where the stream reads why.
    gst_element_set_state(pipeline_, GST_STATE_PLAYING);
    return true;
}

GstMessage* LivePipeline::popFailure(GstClockTime wait) {
    if (pipeline_ == nullptr) {
        return nullptr;
    }
    GstBus* bus = gst_element_get_bus(pipeline_);
    GstMessage* message = gst_bus_timed_pop_filtered(
        bus, wait, static_cast<GstMessageType>(GST_MESSAGE_ERROR | GST_MESSAGE_EOS));
    gst_object_unref(bus);
    return message;
}

void LivePipeline::finish(GstClockTime limit) {
    if (pipeline_ != nullptr && limit > 0 && feed_) {
        feed_->end();
        if (GstMessage* end = popFailure(limit)) {
            gst_message_unref(end);
        }
    }
    if (pipeline_ != nullptr) {
        gst_element_set_state(pipeline_, GST_STATE_NULL);
    }
    feed_.reset();
    target_.reset();
    if (sink_ != nullptr) {
        gst_object_unref(sink_);
        sink_ = nullptr;
    }
    if (pipeline_ != nullptr) {
        gst_object_unref(pipeline_);
        pipeline_ = nullptr;
    }
}
