#include "libs/recorder/live_pipeline.h"

#include <gst/app/gstappsrc.h>
#include <gst/video/video-event.h>

#include <algorithm>

#include "libs/recorder/buffer_pool.h"
#include "libs/recorder/muxer_tags.h"

namespace {
// As in a recording: the muxer waits up to 300 ms for sound that comes in
// blocks stamped when their first sample was heard, so that it writes both
// streams in time order.
constexpr const char* kMuxLatency = "300000000";

std::string videoBranch(const LiveSettings& settings, bool keepHeaders) {
    const int kbps = settings.videoKbps > 0 ? settings.videoKbps
                                            : defaultLiveKbps(settings.width, settings.height);
    // One encoder thread keeps up with 640 x 480 many times over; larger
    // pictures get x264's own choice. ultrafast, as in a recording: at these
    // rates the preset costs little quality for half the time a picture.
    const bool small = static_cast<int64_t>(settings.width) * settings.height <= 640 * 480;
    // A receiver joining an MPEG-TS stream midway needs the parameter sets
    // with every key frame; FLV carries them once, in its header.
    return "appsrc name=video format=time is-live=true block=false "
           "caps=video/x-raw,format=I420,width=" +
           std::to_string(settings.width) + ",height=" + std::to_string(settings.height) +
           ",framerate=" + std::to_string(settings.frameRate) +
           "/1 ! x264enc tune=zerolatency speed-preset=ultrafast pass=cbr bframes=0 bitrate=" +
           std::to_string(kbps) + " key-int-max=" + std::to_string(2 * settings.frameRate) +
           (small ? " threads=1" : "") + " ! h264parse" +
           (keepHeaders ? " config-interval=-1" : "") +
           " ! queue name=videoWaiting max-size-buffers=0 max-size-bytes=0 max-size-time=1000000000"
           " ! mux. ";
}

std::string soundBranch(const LiveSettings& settings) {
    return "appsrc name=sound format=time is-live=true block=false "
           "caps=audio/x-raw,format=S16LE,layout=interleaved,rate=" +
           std::to_string(settings.sampleRate) + ",channels=" + std::to_string(settings.channels) +
           " ! audioconvert ! audioresample ! audio/x-raw,rate=48000,channels=2"
           " ! voaacenc bitrate=128000 ! aacparse"
           " ! queue name=soundWaiting max-size-buffers=0 max-size-bytes=0"
           " max-size-time=1000000000 ! mux. ";
}
}  // namespace

int defaultLiveKbps(int width, int height) {
    const int64_t pixels = static_cast<int64_t>(width) * height;
    if (pixels <= 640 * 480) {
        return 1500;
    }
    return pixels <= 1280 * 720 ? 3000 : 4500;
}

LivePipeline::~LivePipeline() { finish(0); }

std::string LivePipeline::description(const LiveTarget& target) const {
    const bool srt = target.kind == LiveTarget::Kind::Srt;
    // The sink does not wait for the clock: what is ready goes out at once.
    std::string text = srt ? std::string("mpegtsmux name=mux alignment=7 latency=") + kMuxLatency +
                                 " ! srtsink name=sink sync=false "
                           : std::string("flvmux name=mux streamable=true latency=") + kMuxLatency +
                                 " ! rtmp2sink name=sink sync=false ";
    text += videoBranch(settings_, srt);
    if (settings_.sound) {
        text += soundBranch(settings_);
    }
    return text;
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

uint64_t LivePipeline::bytesWaiting() const {
    uint64_t waiting = 0;
    for (GstElement* element : {videoSource_, soundSource_, videoQueue_, soundQueue_}) {
        if (element != nullptr) {
            guint64 level = 0;
            if (GST_IS_APP_SRC(element)) {
                level = gst_app_src_get_current_level_bytes(GST_APP_SRC(element));
            } else {
                guint bytes = 0;
                g_object_get(element, "current-level-bytes", &bytes, nullptr);
                level = bytes;
            }
            waiting += level;
        }
    }
    return waiting;
}

// On the muxer's thread, before the sink renders each buffer.
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
    bytesPerSampleFrame_ = settings.channels * 2;
    GError* error = nullptr;
    pipeline_ = gst_parse_launch(description(target).c_str(), &error);
    if (pipeline_ == nullptr || error != nullptr) {
        *problem = error != nullptr ? error->message : "the pipeline cannot be built";
        g_clear_error(&error);
        finish(0);
        return false;
    }
    dropTagsIntoMuxer(pipeline_);
    pointSink(target, key);
    watchSink();
    videoSource_ = gst_bin_get_by_name(GST_BIN(pipeline_), "video");
    videoQueue_ = gst_bin_get_by_name(GST_BIN(pipeline_), "videoWaiting");
    i420_.setSize(settings.width, settings.height);
    videoPool_ = makeBufferPool(videoSource_, static_cast<int>(i420_.bufferSize()), kPicturesMade,
                                kPicturesWaiting);
    if (settings.sound) {
        soundSource_ = gst_bin_get_by_name(GST_BIN(pipeline_), "sound");
        soundQueue_ = gst_bin_get_by_name(GST_BIN(pipeline_), "soundWaiting");
        soundPool_ = makeBufferPool(soundSource_, settings.soundBlock, 4, kSoundWaiting);
    }
    // A sink that cannot connect fails the change of state; its error is on
    // the bus, where the stream reads why.
    gst_element_set_state(pipeline_, GST_STATE_PLAYING);
    clock_.start(settings.frameRate, settings.sampleRate, bytesPerSampleFrame_, settings.sound);
    return true;
}

bool LivePipeline::pushPicture(const uint8_t* uprightBgr,
                               std::chrono::steady_clock::time_point made) {
    std::optional<GstClockTime> pts = clock_.pictureTime(clock_.since(made));
    if (!pts) {
        return false;
    }
    GstBuffer* buffer = nullptr;
    GstBufferPoolAcquireParams dontWait{};
    dontWait.flags = GST_BUFFER_POOL_ACQUIRE_FLAG_DONTWAIT;
    if (gst_buffer_pool_acquire_buffer(videoPool_, &buffer, &dontWait) != GST_FLOW_OK) {
        return false;  // every picture of the pool still waits: the stream is behind
    }
    if (!i420_.convert(uprightBgr, buffer)) {
        gst_buffer_unref(buffer);
        return false;
    }
    GST_BUFFER_PTS(buffer) = *pts;
    GST_BUFFER_DURATION(buffer) = clock_.pictureDuration();
    if (keyFrameDue(*pts)) {
        // appsrc keeps the event in order with the pictures: this one
        // becomes the key frame.
        gst_element_send_event(videoSource_, gst_video_event_new_downstream_force_key_unit(
                                                 GST_CLOCK_TIME_NONE, GST_CLOCK_TIME_NONE,
                                                 GST_CLOCK_TIME_NONE, TRUE, 0));
    }
    return gst_app_src_push_buffer(GST_APP_SRC(videoSource_), buffer) == GST_FLOW_OK;
}

bool LivePipeline::keyFrameDue(GstClockTime pts) {
    const int keyEvery = 2 * settings_.frameRate;  // x264's key-int-max
    ++picturesSinceKey_;
    if (!lastKey_ || picturesSinceKey_ >= keyEvery) {
        lastKey_ = pts;  // x264's own key frame: the first, or 2 s of pictures on
        picturesSinceKey_ = 0;
        return false;
    }
    const GstClockTime ownKeyAt =
        pts + static_cast<GstClockTime>(keyEvery - picturesSinceKey_) * clock_.pictureDuration();
    if (ownKeyAt <= *lastKey_ + kKeyInterval || pts + kKeyMargin < *lastKey_ + kKeyInterval) {
        return false;
    }
    lastKey_ = pts;
    picturesSinceKey_ = 0;
    return true;
}

bool LivePipeline::pushSound(const uint8_t* pcm, int size) {
    if (soundSource_ == nullptr || size <= 0 || size > settings_.soundBlock ||
        size % bytesPerSampleFrame_ != 0) {
        return false;
    }
    GstClockTime duration = 0;
    GstClockTime pts = clock_.soundTime(size, &duration);
    return pushPooled(soundSource_, soundPool_, pcm, size, pts, duration, true);
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
    if (pipeline_ != nullptr && limit > 0) {
        for (GstElement* source : {videoSource_, soundSource_}) {
            if (source != nullptr) {
                gst_app_src_end_of_stream(GST_APP_SRC(source));
            }
        }
        if (GstMessage* end = popFailure(limit)) {
            gst_message_unref(end);
        }
    }
    if (pipeline_ != nullptr) {
        gst_element_set_state(pipeline_, GST_STATE_NULL);
    }
    for (GstElement** element :
         {&videoSource_, &soundSource_, &videoQueue_, &soundQueue_, &sink_}) {
        if (*element != nullptr) {
            gst_object_unref(*element);
            *element = nullptr;
        }
    }
    dropBufferPool(videoPool_);
    dropBufferPool(soundPool_);
    if (pipeline_ != nullptr) {
        gst_object_unref(pipeline_);
        pipeline_ = nullptr;
    }
}
