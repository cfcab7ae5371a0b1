#include "libs/recorder/recorder_helper.h"

#include <gst/app/gstappsrc.h>

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstring>
#include <optional>

#include "base/debug_log.h"

namespace {
constexpr auto kDrainLimit = 5 * GST_SECOND;

// UTF-8 from a wide (UTF-32) path.
std::string utf8(const wchar_t* text) {
    std::string out;
    for (; text != nullptr && *text != 0; ++text) {
        auto c = static_cast<uint32_t>(*text);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// Blocks of blockSize for a source: `made` of them at once, at most `most`
// (0: no limit) in the pipeline at a time.
GstBufferPool* makePool(GstElement* source, int blockSize, guint made, guint most) {
    GstBufferPool* pool = gst_buffer_pool_new();
    GstStructure* config = gst_buffer_pool_get_config(pool);
    GstCaps* caps = gst_app_src_get_caps(GST_APP_SRC(source));
    gst_buffer_pool_config_set_params(config, caps, static_cast<guint>(blockSize), made, most);
    if (caps != nullptr) {
        gst_caps_unref(caps);
    }
    gst_buffer_pool_set_config(pool, config);
    gst_buffer_pool_set_active(pool, TRUE);
    return pool;
}

// Stream tags (encoder names and the like) that reach the muxer after the
// start make it write a second script tag mid-file, which players take for a
// subtitle stream; the file needs none of them.
GstPadProbeReturn dropTags(GstPad*, GstPadProbeInfo* info, gpointer) {
    GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
    return event != nullptr && GST_EVENT_TYPE(event) == GST_EVENT_TAG ? GST_PAD_PROBE_DROP
                                                                      : GST_PAD_PROBE_OK;
}

void dropTagsIntoMuxer(GstElement* pipeline) {
    GstElement* mux = gst_bin_get_by_name(GST_BIN(pipeline), "mux");
    GstIterator* pads = gst_element_iterate_sink_pads(mux);
    GValue item = G_VALUE_INIT;
    while (gst_iterator_next(pads, &item) == GST_ITERATOR_OK) {
        auto* pad = GST_PAD(g_value_get_object(&item));
        gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, &dropTags, nullptr, nullptr);
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(pads);
    gst_object_unref(mux);
}

// The encoder's own 2 Mbit/s suits 640 x 480; larger pictures get about
// 4 Mbit/s at 720p and 6 at 1080p, so that they are not softer than it.
std::string bitrateProperty(int width, int height) {
    const int64_t pixels = static_cast<int64_t>(width) * height;
    if (pixels <= 640 * 480) {
        return std::string();
    }
    return std::string(" bitrate=") + (pixels <= 1280 * 720 ? "4096" : "6144");
}

// One encoder thread keeps up with 640 x 480 at 15 fps many times over
// (ultrafast takes about 3 ms a picture), and each further thread holds its
// own copies of the pictures it works on; larger pictures get x264's own
// choice, one thread per core and a half.
std::string threadsProperty(int width, int height) {
    return static_cast<int64_t>(width) * height <= 640 * 480 ? " threads=1" : std::string();
}

void dropPool(GstBufferPool*& pool) {
    if (pool != nullptr) {
        gst_buffer_pool_set_active(pool, FALSE);
        gst_object_unref(pool);
        pool = nullptr;
    }
}
}  // namespace

RecorderHelper::RecorderHelper() { gst_init(nullptr, nullptr); }

RecorderHelper::~RecorderHelper() { Stop(); }

int RecorderHelper::AddAudioChannelPcm(int blockSize, int samplesPerSec, int channels,
                                       int bitsPerSample) {
    if (pipeline_ != nullptr || hasAudio_ || blockSize <= 0 || samplesPerSec <= 0 || channels < 1 ||
        channels > 2 || bitsPerSample != 16) {
        return -1;
    }
    hasAudio_ = true;
    audioBlock_ = blockSize;
    sampleRate_ = samplesPerSec;
    channels_ = channels;
    bytesPerFrame_ = channels * bitsPerSample / 8;
    return kAudio;
}

int RecorderHelper::AddVideoChannelRgb24(int width, int height, int frameRate) {
    if (pipeline_ != nullptr || hasVideo_ || width <= 0 || height <= 0 || frameRate <= 0 ||
        (width * 3) % 4 != 0 || height % 2 != 0) {
        return -1;
    }
    hasVideo_ = true;
    width_ = width;
    height_ = height;
    frameRate_ = frameRate;
    return kVideo;
}

// Pictures arrive already in I420 and upright (see pushPicture). At the
// encoder's 2 Mbit/s a 640 x 480, 15 fps picture has bits to spare, so the
// ultrafast preset costs little quality (SSIM 0.676 against superfast's
// 0.693 on a noisy test picture) for half the time (3.3 ms a frame against
// 6.4). The sound goes to the VisualOn AAC encoder: it takes the same time
// as libav's fast AAC coder (0.77 s against 0.79 s of CPU for a minute of
// stereo) and 2 MB less memory, the size of libav's encoder tables.
std::string RecorderHelper::description() const {
    // Unbuffered, so what was recorded is on disk even if the program dies
    // mid-recording: the file then lacks at most its last tag.
    // The muxer writes tags in time order only for what it holds: sound
    // comes in blocks of about 70 ms stamped when their first sample was
    // heard, then through the encoder, so it waits up to 300 ms for it;
    // without that wait it wrote sound behind a picture's time at the
    // picture's time, and the sound's times stood still or jumped.
    std::string text =
        "flvmux name=mux streamable=true latency=300000000 ! filesink name=file "
        "buffer-mode=unbuffered";
    if (hasVideo_) {
        text += " appsrc name=video format=time is-live=true caps=video/x-raw,format=I420,width=" +
                std::to_string(width_) + ",height=" + std::to_string(height_) +
                ",framerate=" + std::to_string(frameRate_) +
                "/1 ! x264enc tune=zerolatency speed-preset=ultrafast key-int-max=" +
                std::to_string(2 * frameRate_) + bitrateProperty(width_, height_) +
                threadsProperty(width_, height_) + " ! h264parse ! queue ! mux.";
    }
    if (hasAudio_) {
        text += " appsrc name=audio format=time is-live=true caps=audio/x-raw,format=S16LE,rate=" +
                std::to_string(sampleRate_) + ",channels=" + std::to_string(channels_) +
                ",layout=interleaved ! audioconvert ! audioresample !"
                " audio/x-raw,rate=44100,channels=2 ! voaacenc"
                " ! aacparse ! queue "
                "! mux.";
    }
    return text;
}

bool RecorderHelper::InitChannels(const wchar_t* path) {
    if (pipeline_ != nullptr || (!hasAudio_ && !hasVideo_) || path == nullptr) {
        return false;
    }
    GError* error = nullptr;
    pipeline_ = gst_parse_launch(description().c_str(), &error);
    if (pipeline_ == nullptr || error != nullptr) {
        debugLog("RecorderHelper, cannot build the recorder: %s", error ? error->message : "?");
        g_clear_error(&error);
        Stop();
        return false;
    }
    dropTagsIntoMuxer(pipeline_);
    GstElement* file = gst_bin_get_by_name(GST_BIN(pipeline_), "file");
    g_object_set(file, "location", utf8(path).c_str(), nullptr);
    gst_object_unref(file);
    if (hasVideo_) {
        videoSource_ = gst_bin_get_by_name(GST_BIN(pipeline_), "video");
        gst_video_info_set_format(&videoInfo_, GST_VIDEO_FORMAT_I420, static_cast<guint>(width_),
                                  static_cast<guint>(height_));
        // Pictures waiting for the encoder are bounded: 8 is a quarter to half
        // a second of them, and 25 MB at 1080p; an encoder further behind
        // gets no more (see pushPicture) instead of the program's memory
        // growing without end.
        videoPool_ = makePool(videoSource_, static_cast<int>(GST_VIDEO_INFO_SIZE(&videoInfo_)),
                              kPicturesMade, kPicturesWaiting);
        handOff_.start(width_, height_,
                       [this](const uint8_t* upright, uint64_t pts, uint64_t duration) {
                           encodePicture(upright, pts, duration);
                       });
    }
    if (hasAudio_) {
        audioSource_ = gst_bin_get_by_name(GST_BIN(pipeline_), "audio");
        // Sound is small and never left out: no limit.
        audioPool_ = makePool(audioSource_, audioBlock_, 8, 0);
    }
    if (gst_element_set_state(pipeline_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        debugLog("RecorderHelper, cannot write %s", utf8(path).c_str());
        Stop();
        return false;
    }
    start_ = std::chrono::steady_clock::now();
    running_ = true;
    return true;
}

GstClockTime RecorderHelper::now() const {
    return static_cast<GstClockTime>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                         std::chrono::steady_clock::now() - start_)
                                         .count());
}

bool RecorderHelper::InputChannelData(int channel, const char* data, int size) {
    std::shared_lock<std::shared_mutex> feeding(feedLock_);
    if (!running_ || data == nullptr || size <= 0) {
        return false;
    }
    if (channel == kVideo && hasVideo_) {
        if (size != width_ * height_ * 3) {
            return false;
        }
        GstClockTime arrived = now();
        if (hasAudio_ && lastPictureSlot_ < 0) {
            // The file begins with the sound: pictures wait for the first
            // block, and the first picture takes the slot of the block's
            // first sample, so both streams start together. A microphone
            // that stays silent longer does not hold the pictures back.
            std::optional<GstClockTime> origin = soundOrigin();
            if (!origin && arrived < kSoundWait) {
                return false;
            }
            arrived = origin ? std::min(arrived, *origin) : arrived;
        }
        // Only a copy here: the conversion runs on the hand-off's thread.
        return handOff_.hand(reinterpret_cast<const uint8_t*>(data), pictureTime(arrived),
                             GST_SECOND / static_cast<GstClockTime>(frameRate_));
    }
    if (channel == kAudio && hasAudio_ && size % bytesPerFrame_ == 0 && size <= audioBlock_) {
        GstClockTime duration =
            gst_util_uint64_scale(static_cast<guint64>(size / bytesPerFrame_), GST_SECOND,
                                  static_cast<guint64>(sampleRate_));
        GstClockTime pts;
        {
            std::lock_guard<std::mutex> guard(audioLock_);
            if (!audioStarted_) {
                // The block's first sample was heard one block's length ago.
                GstClockTime arrived = now();
                audioOrigin_ = arrived > duration ? arrived - duration : 0;
                audioStarted_ = true;
            }
            pts = audioOrigin_ + gst_util_uint64_scale(audioFrames_, GST_SECOND,
                                                       static_cast<guint64>(sampleRate_));
            audioFrames_ += static_cast<uint64_t>(size / bytesPerFrame_);
        }
        return push(audioSource_, audioPool_, data, size, pts, duration);
    }
    return false;
}

// The microphone takes tens of milliseconds to deliver its first block
// (more on a busy machine); pictures from before it would start the file
// with a stretch of silence and its two streams that far apart.
std::optional<GstClockTime> RecorderHelper::soundOrigin() {
    std::lock_guard<std::mutex> guard(audioLock_);
    return audioStarted_ ? std::optional<GstClockTime>(audioOrigin_) : std::nullopt;
}

GstClockTime RecorderHelper::pictureTime(GstClockTime arrived) {
    auto rate = static_cast<guint64>(frameRate_);
    // The nearest slot, and never one already used: a late tick takes the
    // next slot, a skipped tick leaves one empty.
    auto slot = static_cast<int64_t>(gst_util_uint64_scale_round(arrived, rate, GST_SECOND));
    slot = std::max(slot, lastPictureSlot_ + 1);
    lastPictureSlot_ = slot;
    return gst_util_uint64_scale(static_cast<guint64>(slot), GST_SECOND, rate);
}

bool RecorderHelper::push(GstElement* source, GstBufferPool* pool, const char* data, int size,
                          GstClockTime pts, GstClockTime duration) {
    GstBuffer* buffer = nullptr;
    if (gst_buffer_pool_acquire_buffer(pool, &buffer, nullptr) != GST_FLOW_OK) {
        return false;
    }
    gst_buffer_fill(buffer, 0, data, static_cast<gsize>(size));
    gst_buffer_set_size(buffer, size);
    GST_BUFFER_PTS(buffer) = pts;
    GST_BUFFER_DURATION(buffer) = duration;
    fed_ = true;
    return gst_app_src_push_buffer(GST_APP_SRC(source), buffer) == GST_FLOW_OK;
}

namespace {
// Whether the mapped I420 frame's planes lie one after another with rows of
// the picture's own widths, as OpenCV writes I420.
bool planesAsOpenCvWrites(const GstVideoFrame& frame, int width, int height) {
    const auto* luma = static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0));
    const size_t lumaBytes = static_cast<size_t>(width) * static_cast<size_t>(height);
    return GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0) == width &&
           GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 1) == width / 2 &&
           GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 2) == width / 2 &&
           GST_VIDEO_FRAME_PLANE_DATA(&frame, 1) == luma + lumaBytes &&
           GST_VIDEO_FRAME_PLANE_DATA(&frame, 2) == luma + lumaBytes + lumaBytes / 4;
}
}  // namespace

// On the hand-off's thread. OpenCV's BGR to I420 conversion costs about a
// quarter of GStreamer's generic one for 24-bit input; it writes straight
// into the encoder's buffer when the buffer's planes are laid out as it
// writes them (every output mode's are), through scratch otherwise.
void RecorderHelper::encodePicture(const uint8_t* uprightBgr, GstClockTime pts,
                                   GstClockTime duration) {
    GstBuffer* buffer = nullptr;
    // With every block still before the encoder, this picture is left out
    // (its slot stays empty in the file): the pool never grows.
    GstBufferPoolAcquireParams dontWait{};
    dontWait.flags = GST_BUFFER_POOL_ACQUIRE_FLAG_DONTWAIT;
    if (gst_buffer_pool_acquire_buffer(videoPool_, &buffer, &dontWait) != GST_FLOW_OK) {
        ++picturesLeftOut_;
        return;
    }
    GstVideoFrame frame;
    if (!gst_video_frame_map(&frame, &videoInfo_, buffer, GST_MAP_WRITE)) {
        gst_buffer_unref(buffer);
        return;
    }
    const cv::Mat picture(height_, width_, CV_8UC3, const_cast<uint8_t*>(uprightBgr));
    if (planesAsOpenCvWrites(frame, width_, height_)) {
        cv::Mat planes(height_ * 3 / 2, width_, CV_8UC1, GST_VIDEO_FRAME_PLANE_DATA(&frame, 0));
        cv::cvtColor(picture, planes, cv::COLOR_BGR2YUV_I420);
    } else {
        cv::cvtColor(picture, planes_, cv::COLOR_BGR2YUV_I420);
        copyPlanes(frame);
    }
    gst_video_frame_unmap(&frame);
    GST_BUFFER_PTS(buffer) = pts;
    GST_BUFFER_DURATION(buffer) = duration;
    fed_ = true;
    gst_app_src_push_buffer(GST_APP_SRC(videoSource_), buffer);
}

void RecorderHelper::copyPlanes(GstVideoFrame& frame) const {
    const uint8_t* source = planes_.data;
    for (int plane = 0; plane < 3; ++plane) {
        const int scale = plane == 0 ? 1 : 2;
        const size_t rowBytes = static_cast<size_t>(width_ / scale);
        auto* target = static_cast<uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, plane));
        const auto stride = static_cast<size_t>(GST_VIDEO_FRAME_PLANE_STRIDE(&frame, plane));
        for (int y = 0; y < height_ / scale; ++y) {
            std::memcpy(target + static_cast<size_t>(y) * stride, source, rowBytes);
            source += rowBytes;
        }
    }
}

void RecorderHelper::Stop() {
    std::unique_lock<std::shared_mutex> alone(feedLock_);
    bool wasRunning = running_.exchange(false);
    // The pictures handed over reach the encoder before its end.
    handOff_.finish();
    const uint64_t leftOut = picturesLeftOut_ + handOff_.leftOut();
    if (wasRunning && leftOut > 0) {
        debugLog("RecorderHelper, %llu pictures left out: the encoder was behind",
                 static_cast<unsigned long long>(leftOut));
    }
    // Nothing fed, nothing to drain: the muxer would only wait for data.
    if (pipeline_ != nullptr && wasRunning && fed_) {
        for (GstElement* source : {videoSource_, audioSource_}) {
            if (source != nullptr) {
                gst_app_src_end_of_stream(GST_APP_SRC(source));
            }
        }
        // Everything queued reaches the file before it is closed.
        GstBus* bus = gst_element_get_bus(pipeline_);
        GstMessage* end = gst_bus_timed_pop_filtered(
            bus, kDrainLimit, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
        if (end == nullptr) {
            debugLog("RecorderHelper, the recording did not drain in time");
        } else {
            gst_message_unref(end);
        }
        gst_object_unref(bus);
    }
    if (pipeline_ != nullptr) {
        gst_element_set_state(pipeline_, GST_STATE_NULL);
    }
    for (GstElement** source : {&videoSource_, &audioSource_}) {
        if (*source != nullptr) {
            gst_object_unref(*source);
            *source = nullptr;
        }
    }
    dropPool(videoPool_);
    dropPool(audioPool_);
    if (pipeline_ != nullptr) {
        gst_object_unref(pipeline_);
        pipeline_ = nullptr;
    }
}
