#include "libs/recorder/live_encoder.h"

#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/video/video-event.h>

#include <algorithm>

#include "libs/recorder/buffer_pool.h"
#include "libs/recorder/encoded_feed.h"

namespace {
using Clock = std::chrono::steady_clock;

Clock::time_point timeOf(uint64_t nanoseconds) {
    return Clock::time_point(std::chrono::duration_cast<Clock::duration>(
        std::chrono::nanoseconds(static_cast<int64_t>(nanoseconds))));
}

uint64_t nanosecondsOf(Clock::time_point when) {
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(when.time_since_epoch()).count());
}

// How often a wait for the encoder looks again: pictures the hand-off left
// out are counted there, without a wake-up.
constexpr std::chrono::milliseconds kDoneStep{20};
}  // namespace

int defaultLiveKbps(int width, int height) {
    const int64_t pixels = static_cast<int64_t>(width) * height;
    if (pixels <= 640 * 480) {
        return 1500;
    }
    return pixels <= 1280 * 720 ? 3000 : 4500;
}

LiveEncoder::LiveEncoder() { gst_init(nullptr, nullptr); }

LiveEncoder::~LiveEncoder() { finish(); }

std::string LiveEncoder::description() const {
    const LiveSettings& s = settings_;
    const int kbps = s.videoKbps > 0 ? s.videoKbps : defaultLiveKbps(s.width, s.height);
    // One encoder thread keeps up with 640 x 480 many times over; larger
    // pictures get x264's own choice. ultrafast, as in a recording: at these
    // rates the preset costs little quality for half the time a picture.
    const bool small = static_cast<int64_t>(s.width) * s.height <= 640 * 480;
    std::string text =
        "appsrc name=video format=time is-live=true block=false "
        "caps=video/x-raw,format=I420,width=" +
        std::to_string(s.width) + ",height=" + std::to_string(s.height) +
        ",framerate=" + std::to_string(s.frameRate) +
        "/1 ! x264enc tune=zerolatency speed-preset=ultrafast pass=cbr bframes=0 bitrate=" +
        std::to_string(kbps) + " key-int-max=" + std::to_string(2 * s.frameRate) +
        (small ? " threads=1" : "") +
        " ! h264parse ! video/x-h264,stream-format=avc,alignment=au"
        " ! appsink name=videoOut sync=false async=false ";
    if (s.sound) {
        text +=
            "appsrc name=sound format=time is-live=true block=false "
            "caps=audio/x-raw,format=S16LE,layout=interleaved,rate=" +
            std::to_string(s.sampleRate) + ",channels=" + std::to_string(s.channels) +
            " ! audioconvert ! audioresample ! audio/x-raw,rate=48000,channels=2"
            " ! voaacenc bitrate=128000 ! aacparse"
            " ! audio/mpeg,mpegversion=4,stream-format=raw"
            " ! appsink name=soundOut sync=false async=false ";
    }
    return text;
}

bool LiveEncoder::start(const LiveSettings& settings, std::string* problem) {
    settings_ = settings;
    bytesPerSampleFrame_ = settings.channels * 2;
    GError* error = nullptr;
    pipeline_ = gst_parse_launch(description().c_str(), &error);
    if (pipeline_ == nullptr || error != nullptr) {
        *problem = error != nullptr ? error->message : "the encoders cannot be built";
        g_clear_error(&error);
        finish();
        return false;
    }
    videoSource_ = gst_bin_get_by_name(GST_BIN(pipeline_), "video");
    videoOut_ = gst_bin_get_by_name(GST_BIN(pipeline_), "videoOut");
    i420_.setSize(settings.width, settings.height);
    videoPool_ = makeBufferPool(videoSource_, static_cast<int>(i420_.bufferSize()), kPicturesMade,
                                kPicturesWaiting);
    GstAppSinkCallbacks videoCallbacks{};
    videoCallbacks.new_sample = &LiveEncoder::handOnVideo;
    gst_app_sink_set_callbacks(GST_APP_SINK(videoOut_), &videoCallbacks, this, nullptr);
    if (settings.sound) {
        soundSource_ = gst_bin_get_by_name(GST_BIN(pipeline_), "sound");
        soundOut_ = gst_bin_get_by_name(GST_BIN(pipeline_), "soundOut");
        soundPool_ = makeBufferPool(soundSource_, settings.soundBlock, 4, kSoundWaiting);
        GstAppSinkCallbacks soundCallbacks{};
        soundCallbacks.new_sample = &LiveEncoder::handOnSound;
        gst_app_sink_set_callbacks(GST_APP_SINK(soundOut_), &soundCallbacks, this, nullptr);
    }
    if (gst_element_set_state(pipeline_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        *problem = "the encoders cannot start";
        finish();
        return false;
    }
    clock_.start(settings.frameRate, settings.sampleRate, bytesPerSampleFrame_, settings.sound);
    handOff_.start(
        settings.width, settings.height,
        [this](const uint8_t* upright, uint64_t made, uint64_t) { encodePicture(upright, made); });
    return true;
}

void LiveEncoder::handPicture(const uint8_t* bottomUpBgr, size_t size) {
    if (pipeline_ == nullptr ||
        size != static_cast<size_t>(settings_.width) * settings_.height * 3) {
        return;
    }
    ++picturesHanded_;
    handOff_.hand(bottomUpBgr, nanosecondsOf(Clock::now()), 0);
}

// On the hand-off's thread.
void LiveEncoder::encodePicture(const uint8_t* uprightBgr, uint64_t madeNs) {
    std::optional<GstClockTime> pts = clock_.pictureTime(clock_.since(timeOf(madeNs)));
    GstBuffer* buffer = nullptr;
    GstBufferPoolAcquireParams dontWait{};
    dontWait.flags = GST_BUFFER_POOL_ACQUIRE_FLAG_DONTWAIT;
    // Every picture of the pool still waits: the encoder is behind.
    if (!pts || gst_buffer_pool_acquire_buffer(videoPool_, &buffer, &dontWait) != GST_FLOW_OK) {
        ++picturesDropped_;
        noteDone(1);
        return;
    }
    if (!i420_.convert(uprightBgr, buffer)) {
        gst_buffer_unref(buffer);
        ++picturesDropped_;
        noteDone(1);
        return;
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
    if (gst_app_src_push_buffer(GST_APP_SRC(videoSource_), buffer) != GST_FLOW_OK) {
        ++picturesDropped_;
        noteDone(1);
    }
}

bool LiveEncoder::keyFrameDue(GstClockTime pts) {
    const int keyEvery = 2 * settings_.frameRate;  // x264's key-int-max
    ++picturesSinceKey_;
    if (!lastKey_ || picturesSinceKey_ >= keyEvery) {
        lastKey_ = pts;  // x264's own key frame: the first, or 2 s of pictures on
        picturesSinceKey_ = 0;
        keyFrameAsked_ = false;
        return false;
    }
    const GstClockTime ownKeyAt =
        pts + static_cast<GstClockTime>(keyEvery - picturesSinceKey_) * clock_.pictureDuration();
    const bool spacing =
        ownKeyAt > *lastKey_ + kKeyInterval && pts + kKeyMargin >= *lastKey_ + kKeyInterval;
    if (!keyFrameAsked_.exchange(false) && !spacing) {
        return false;
    }
    lastKey_ = pts;
    picturesSinceKey_ = 0;
    return true;
}

void LiveEncoder::pushSound(const uint8_t* pcm, int size) {
    if (soundSource_ == nullptr || size <= 0 || size > settings_.soundBlock ||
        size % bytesPerSampleFrame_ != 0) {
        return;
    }
    GstClockTime duration = 0;
    GstClockTime pts = clock_.soundTime(size, &duration);
    pushPooled(soundSource_, soundPool_, pcm, size, pts, duration, true);
}

GstFlowReturn LiveEncoder::handOnVideo(GstAppSink* sink, gpointer self) {
    static_cast<LiveEncoder*>(self)->handOn(sink, true);
    return GST_FLOW_OK;
}

GstFlowReturn LiveEncoder::handOnSound(GstAppSink* sink, gpointer self) {
    static_cast<LiveEncoder*>(self)->handOn(sink, false);
    return GST_FLOW_OK;
}

// On the encoder's output threads.
void LiveEncoder::handOn(GstAppSink* sink, bool video) {
    GstSample* sample = gst_app_sink_pull_sample(sink);
    if (sample == nullptr) {
        return;
    }
    {
        std::lock_guard<std::mutex> guard(feedsLock_);
        for (EncodedFeed* feed : feeds_) {
            feed->take(sample, video, video ? 0 : kSoundLag);
        }
    }
    gst_sample_unref(sample);
    if (video) {
        noteDone(1);
    }
}

void LiveEncoder::attach(EncodedFeed* feed) {
    {
        std::lock_guard<std::mutex> guard(feedsLock_);
        feeds_.push_back(feed);
    }
    keyFrameAsked_ = true;
}

void LiveEncoder::detach(EncodedFeed* feed) {
    std::lock_guard<std::mutex> guard(feedsLock_);
    feeds_.erase(std::remove(feeds_.begin(), feeds_.end(), feed), feeds_.end());
}

void LiveEncoder::noteDone(uint64_t pictures) {
    {
        std::lock_guard<std::mutex> guard(doneLock_);
        picturesDone_ += pictures;
    }
    doneChanged_.notify_all();
}

bool LiveEncoder::waitForPictures(std::chrono::milliseconds limit) {
    const uint64_t handed = picturesHanded_.load();
    const auto deadline = Clock::now() + limit;
    std::unique_lock<std::mutex> guard(doneLock_);
    auto done = [&] { return picturesDone_ + handOff_.leftOut() >= handed; };
    while (!done()) {
        if (Clock::now() >= deadline) {
            return false;
        }
        doneChanged_.wait_for(guard, kDoneStep);
    }
    return true;
}

uint64_t LiveEncoder::picturesLeftOut() const {
    return handOff_.leftOut() + picturesDropped_.load();
}

uint64_t LiveEncoder::bytesWaiting() const {
    uint64_t waiting = 0;
    for (GstElement* source : {videoSource_, soundSource_}) {
        if (source != nullptr) {
            waiting += gst_app_src_get_current_level_bytes(GST_APP_SRC(source));
        }
    }
    return waiting;
}

void LiveEncoder::finish() {
    handOff_.finish();
    {
        std::lock_guard<std::mutex> guard(feedsLock_);
        feeds_.clear();
    }
    if (pipeline_ != nullptr) {
        gst_element_set_state(pipeline_, GST_STATE_NULL);
    }
    for (GstElement** element : {&videoSource_, &soundSource_, &videoOut_, &soundOut_}) {
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
