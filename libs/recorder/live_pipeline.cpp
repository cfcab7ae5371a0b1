#include "libs/recorder/live_pipeline.h"

#include <algorithm>
#include <chrono>

#include "libs/recorder/appsrc_target.h"
#include "libs/recorder/flv_tag_target.h"
#include "libs/recorder/muxer_tags.h"
#include "libs/recorder/rtmp_publisher.h"
#include "libs/recorder/srt_refusal.h"

namespace {
// What may wait in a connection: a second of pictures at twice the bit rate
// (a key frame is several times an ordinary picture), at least 256 KiB, and
// two seconds of sound.
uint64_t mostVideoBytes(const LiveSettings& settings) {
    const int kbps = settings.videoKbps > 0 ? settings.videoKbps
                                            : defaultLiveKbps(settings.width, settings.height);
    return std::max<uint64_t>(256u << 10, static_cast<uint64_t>(kbps) * 1000 / 8 * 2);
}
constexpr uint64_t kMostSoundBytes = 2 * 128000 / 8;

// The name of the message interrupt() posts on an SRT connection's bus.
constexpr const char* kWakeUp = "lumora-wake-up";

// The encoded pictures and sound come whole and in time order, each from
// its encoder; the muxer interleaves them by time. A receiver joining an
// MPEG-TS stream midway needs the parameter sets with every key frame. The
// sink does not wait for the clock: what is ready goes out at once.
std::string srtDescription(bool sound) {
    const std::string soundBranch =
        sound ? "appsrc name=sound format=time is-live=false block=false ! aacparse ! mux. "
              : std::string();
    return "mpegtsmux name=mux alignment=7 ! srtsink name=sink sync=false "
           "appsrc name=video format=time is-live=false block=false "
           "! h264parse config-interval=-1 ! video/x-h264,stream-format=byte-stream ! mux. " +
           soundBranch;
}
}  // namespace

LivePipeline::LivePipeline() = default;

LivePipeline::~LivePipeline() { finish(0); }

bool LivePipeline::start(const LiveTarget& target, const std::string& key,
                         const LiveSettings& settings, std::string* problem) {
    target_ = target;
    key_ = key;
    settings_ = settings;
    if (target.kind == LiveTarget::Kind::Srt) {
        if (!startSrt(problem)) {
            finish(0);
            return false;
        }
    } else {
        publisher_ = std::make_unique<RtmpPublisher>(target, key);
        FlvTagTarget::Stream stream;
        stream.width = settings.width;
        stream.height = settings.height;
        stream.frameRate = settings.frameRate;
        stream.sound = settings.sound;
        input_ = std::make_unique<FlvTagTarget>(*publisher_, stream);
    }
    feed_ = std::make_unique<EncodedFeed>(*input_, mostVideoBytes(settings), kMostSoundBytes);
    if (pipeline_ != nullptr) {
        // A sink that cannot connect fails the change of state; its error
        // is on the bus.
        gst_element_set_state(pipeline_, GST_STATE_PLAYING);
    }
    return true;
}

// The address and passphrase go in as properties, never through the
// description, which GStreamer may quote in its own messages.
bool LivePipeline::startSrt(std::string* problem) {
    GError* error = nullptr;
    pipeline_ = gst_parse_launch(srtDescription(settings_.sound).c_str(), &error);
    if (pipeline_ == nullptr || error != nullptr) {
        *problem = error != nullptr ? error->message : "the pipeline cannot be built";
        g_clear_error(&error);
        return false;
    }
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline_), "sink");
    g_object_set(sink, "uri", target_->sinkLocation(key_).c_str(), nullptr);
    if (!key_.empty()) {
        g_object_set(sink, "passphrase", key_.c_str(), nullptr);
    }
    gst_object_unref(sink);
    watchSrtSink();
    dropTagsIntoMuxer(pipeline_);
    input_ = std::make_unique<AppSrcTarget>(pipeline_);
    return true;
}

void LivePipeline::watchSrtSink() {
    sink_ = gst_bin_get_by_name(GST_BIN(pipeline_), "sink");
    GstPad* pad = gst_element_get_static_pad(sink_, "sink");
    gst_pad_add_probe(
        pad,
        static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_BUFFER_LIST),
        &LivePipeline::noteSent, this, nullptr);
    gst_object_unref(pad);
}

uint64_t LivePipeline::bytesSent() const {
    return publisher_ ? publisher_->bytesTaken() : srtBytesSent_.load();
}

// srtsink takes buffers before it has a connection (it connects a caller in
// the background and fails its first write when nothing answers), so the
// buffers it took say nothing; its statistics come from a connection once
// there is one, and are all zero before.
uint64_t LivePipeline::bytesOut() const {
    if (publisher_) {
        return publisher_->bytesOut();
    }
    if (sink_ == nullptr) {
        return 0;
    }
    GstStructure* stats = nullptr;
    g_object_get(sink_, "stats", &stats, nullptr);
    guint64 sent = 0;
    if (stats != nullptr) {
        for (const char* field : {"bytes-sent", "bytes-sent-total"}) {
            guint64 value = 0;
            if (gst_structure_get_uint64(stats, field, &value)) {
                sent = std::max(sent, value);
            }
        }
        gst_structure_free(stats);
    }
    return sent;
}

std::optional<uint64_t> LivePipeline::bytesAcknowledged() const {
    return publisher_ ? std::optional<uint64_t>(publisher_->bytesAcknowledged()) : std::nullopt;
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
    pipeline->srtBytesSent_.fetch_add(bytes);
    return GST_PAD_PROBE_OK;
}

std::optional<LiveEnding> LivePipeline::popEnding(GstClockTime wait) {
    if (publisher_) {
        return publisher_->waitEnding(std::chrono::nanoseconds(wait));
    }
    return srtEnding(wait);
}

void LivePipeline::interrupt() {
    if (publisher_) {
        publisher_->interruptWait();
    } else if (pipeline_ != nullptr) {
        gst_element_post_message(
            pipeline_,
            gst_message_new_application(GST_OBJECT(pipeline_), gst_structure_new_empty(kWakeUp)));
    }
}

std::optional<LiveEnding> LivePipeline::srtEnding(GstClockTime wait) {
    if (pipeline_ == nullptr) {
        return std::nullopt;
    }
    GstBus* bus = gst_element_get_bus(pipeline_);
    GstMessage* message = gst_bus_timed_pop_filtered(
        bus, wait,
        static_cast<GstMessageType>(GST_MESSAGE_ERROR | GST_MESSAGE_EOS | GST_MESSAGE_APPLICATION));
    gst_object_unref(bus);
    if (message == nullptr) {
        return std::nullopt;
    }
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_APPLICATION) {
        gst_message_unref(message);  // interrupt's
        return std::nullopt;
    }
    LiveEnding ending;
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS) {
        ending.clean = true;
        ending.text = "the stream ended";
    } else {
        GError* error = nullptr;
        gchar* debug = nullptr;
        gst_message_parse_error(message, &error, &debug);
        ending.reason = classifySrtError(error, debug);
        if (ending.reason == LiveStopReason::ConnectionRefused && !key_.empty()) {
            ending.reason = askSrtListener(*target_, key_);  // srtsink hides a refused passphrase
        }
        ending.text = withoutKey(error != nullptr ? error->message : "?", key_);
        g_clear_error(&error);
        g_free(debug);
    }
    gst_message_unref(message);
    return ending;
}

void LivePipeline::finish(GstClockTime limit) {
    if (limit > 0 && feed_) {
        feed_->end();
        // An interrupt meant for the watch may still be pending: it does
        // not cut the drain short.
        const auto until = std::chrono::steady_clock::now() + std::chrono::nanoseconds(limit);
        for (auto now = std::chrono::steady_clock::now(); now < until;
             now = std::chrono::steady_clock::now()) {
            if (popEnding(static_cast<GstClockTime>(
                    std::chrono::duration_cast<std::chrono::nanoseconds>(until - now).count()))) {
                break;
            }
        }
    }
    if (pipeline_ != nullptr) {
        gst_element_set_state(pipeline_, GST_STATE_NULL);
    }
    if (publisher_) {
        publisher_->cancel();
    }
    feed_.reset();
    input_.reset();
    publisher_.reset();
    if (sink_ != nullptr) {
        gst_object_unref(sink_);
        sink_ = nullptr;
    }
    if (pipeline_ != nullptr) {
        gst_object_unref(pipeline_);
        pipeline_ = nullptr;
    }
}
