#include "libs/recorder/recorder_helper.h"

#include <gst/app/gstappsrc.h>

#include <optional>

#include "base/debug_log.h"
#include "libs/recorder/aac_delay.h"
#include "libs/recorder/buffer_pool.h"
#include "libs/recorder/muxer_tags.h"

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
    pictureLag_ = aacSoundLag(kEncodedRate);
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
                " audio/x-raw,rate=" +
                std::to_string(kEncodedRate) +
                ",channels=2 ! voaacenc"
                " ! aacparse name=aac ! queue "
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
        i420_.setSize(width_, height_);
        // Pictures waiting for the encoder are bounded: 8 is a quarter to half
        // a second of them, and 25 MB at 1080p; an encoder further behind
        // gets no more (see pushPicture) instead of the program's memory
        // growing without end.
        videoPool_ = makeBufferPool(videoSource_, static_cast<int>(i420_.bufferSize()),
                                    kPicturesMade, kPicturesWaiting);
        handOff_.start(width_, height_,
                       [this](const uint8_t* upright, uint64_t pts, uint64_t duration) {
                           encodePicture(upright, pts, duration);
                       });
    }
    if (hasAudio_) {
        audioSource_ = gst_bin_get_by_name(GST_BIN(pipeline_), "audio");
        // Sound is small and never left out: no limit.
        audioPool_ = makeBufferPool(audioSource_, audioBlock_, 8, 0);
        // The encoder's first block is only its lead-in, before the first
        // sound heard (see pictureLag_).
        GstElement* parser = gst_bin_get_by_name(GST_BIN(pipeline_), "aac");
        GstPad* parsed = gst_element_get_static_pad(parser, "src");
        leaveOutAacLeadIn(parsed, pictureLag_);
        gst_object_unref(parsed);
        gst_object_unref(parser);
    }
    if (gst_element_set_state(pipeline_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        debugLog("RecorderHelper, cannot write %s", utf8(path).c_str());
        Stop();
        return false;
    }
    clock_.start(frameRate_, sampleRate_, bytesPerFrame_, hasAudio_);
    running_ = true;
    return true;
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
        std::optional<GstClockTime> pts = clock_.pictureTime(clock_.now());
        if (!pts) {
            return false;
        }
        return handOff_.hand(reinterpret_cast<const uint8_t*>(data), *pts + pictureLag_,
                             clock_.pictureDuration());
    }
    if (channel == kAudio && hasAudio_ && size % bytesPerFrame_ == 0 && size <= audioBlock_) {
        GstClockTime duration = 0;
        GstClockTime pts = clock_.soundTime(size, &duration);
        fed_ = true;
        return pushPooled(audioSource_, audioPool_, data, size, pts, duration, false);
    }
    return false;
}

// On the hand-off's thread.
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
    if (!i420_.convert(uprightBgr, buffer)) {
        gst_buffer_unref(buffer);
        return;
    }
    GST_BUFFER_PTS(buffer) = pts;
    GST_BUFFER_DURATION(buffer) = duration;
    fed_ = true;
    gst_app_src_push_buffer(GST_APP_SRC(videoSource_), buffer);
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
    dropBufferPool(videoPool_);
    dropBufferPool(audioPool_);
    if (pipeline_ != nullptr) {
        gst_object_unref(pipeline_);
        pipeline_ = nullptr;
    }
}
