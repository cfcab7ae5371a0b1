#include "libs/capture/stream_capture.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "base/debug_log.h"
#include "libs/capture/decoder_setup.h"
#include "libs/capture/filter_description.h"
#include "libs/capture/gst_runtime.h"
#include "libs/capture/pipeline_reaper.h"

namespace {
// How long a thread that lets go of a pipeline waits for it to come down.
// A sound pipeline takes milliseconds; one that takes longer is left to
// finish, or stay stuck, on its own.
constexpr std::chrono::milliseconds kLetGoPatience{1000};

using SteadyClock = std::chrono::steady_clock;
}  // namespace

bool StreamCapture::SetFilterDescXml(const std::string& path) {
    if (!ensureGStreamer()) {
        return false;
    }
    std::string error;
    auto ranks = readFilterDescription(path, &error);
    if (!ranks) {
        debugLog("StreamCapture, filter description %s not used: %s", path.c_str(), error.c_str());
        return false;
    }
    applyFilterRanks(*ranks);
    return true;
}

StreamCapture::StreamCapture() { ensureGStreamer(); }

StreamCapture::~StreamCapture() { Stop(); }

int StreamCapture::Advise(int outWidth, int outHeight, ISimplyCallBack* receiver) {
    std::lock_guard<std::mutex> guard(controlLock_);
    if (!delivery_ || outWidth != outWidth_ || outHeight != outHeight_) {
        if (playing_) {
            return -1;  // the size is fixed while playing
        }
        outWidth_ = outWidth;
        outHeight_ = outHeight;
        delivery_ = std::make_shared<FrameDelivery>(outWidth, outHeight);
        delivery_->setLatencyObserver(latencyObserver_, latencyContext_);
    }
    delivery_->setReceiver(receiver);
    return 0;
}

void StreamCapture::SetMaxFrameRate(int fps) {
    std::lock_guard<std::mutex> guard(controlLock_);
    maxFrameRate_ = std::max(fps, 0);
    if (rateCap_ != nullptr) {
        // The playing pipeline may be kept for many passes (a file that
        // follows itself), so it must not keep the cap it was built with.
        g_object_set(rateCap_, "max-rate", maxFrameRate_ > 0 ? maxFrameRate_ : G_MAXINT, nullptr);
    }
}

bool StreamCapture::newPlayer() {
    std::string rateCap;
    if (maxFrameRate_ > 0) {
        rateCap =
            "videorate name=rate drop-only=true max-rate=" + std::to_string(maxFrameRate_) + " ! ";
    }
    std::string description =
        rateCap +
        "videoscale ! videoconvert ! video/x-raw,format=BGRx,width=" + std::to_string(outWidth_) +
        ",height=" + std::to_string(outHeight_) + ",pixel-aspect-ratio=1/1 ! appsink name=sink";
    GError* error = nullptr;
    GstElement* videoBin = gst_parse_bin_from_description(description.c_str(), TRUE, &error);
    GstElement* player = gst_element_factory_make("playbin", nullptr);
    GstElement* speaker =
        gst_element_factory_make(audioOutput_ ? "pulsesink" : "fakesink", nullptr);
    if (videoBin == nullptr || player == nullptr || speaker == nullptr || error != nullptr) {
        debugLog("StreamCapture, cannot build the player: %s", error ? error->message : "?");
        g_clear_error(&error);
        for (GstElement* element : {videoBin, player, speaker}) {
            if (element != nullptr) {
                gst_object_unref(gst_object_ref_sink(element));
            }
        }
        return false;
    }
    GstElement* sink = gst_bin_get_by_name(GST_BIN(videoBin), "sink");
    FrameDelivery::attachShared(delivery_, sink);
    gst_object_unref(sink);
    rateCap_ = gst_bin_get_by_name(GST_BIN(videoBin), "rate");  // null without a cap
    if (!audioOutput_) {
        g_object_set(speaker, "sync", TRUE, nullptr);  // keeps time for the pictures
    } else {
        // Sound in 40 ms segments instead of 10: a quarter of the wake-ups,
        // and the pictures still wait for the sound's latency.
        g_object_set(speaker, "latency-time", static_cast<gint64>(40000), nullptr);
    }
    g_signal_connect(player, "element-setup",
                     G_CALLBACK(+[](GstElement*, GstElement* element, gpointer) {
                         setUpFileDecoder(element);
                     }),
                     nullptr);
    // Video and sound only: no subtitles or visualisations.
    g_object_set(player, "video-sink", videoBin, "audio-sink", speaker, "flags", 0x3, nullptr);
    player_ = GST_ELEMENT(gst_object_ref_sink(player));
    playerBus_ = gst_element_get_bus(player_);
    busWatcher_.setBus(playerBus_);
    gst_object_unref(playerBus_);  // the player keeps it alive
    applyVolume();
    return true;
}

void StreamCapture::dropPlayer() {
    if (player_ == nullptr) {
        return;
    }
    busWatcher_.setBus(nullptr);
    if (rateCap_ != nullptr) {
        gst_object_unref(std::exchange(rateCap_, nullptr));
    }
    GstElement* player = std::exchange(player_, nullptr);
    playerBus_ = nullptr;
    // Its sink no longer delivers: the next player's sink is attached, or
    // delivery is off. So the old one may take its time.
    if (!PipelineReaper::retire(player, kLetGoPatience)) {
        debugLog("StreamCapture, the player of %s does not stop; left to stop on its own",
                 playerFile_.c_str());
    }
}

bool StreamCapture::speakerAnswers() {
    GstElement* speaker = gst_element_factory_make("pulsesink", nullptr);
    if (speaker == nullptr) {
        return false;
    }
    bool answers = gst_element_set_state(speaker, GST_STATE_READY) == GST_STATE_CHANGE_SUCCESS;
    gst_element_set_state(speaker, GST_STATE_NULL);
    gst_object_unref(gst_object_ref_sink(speaker));
    return answers;
}

void StreamCapture::SetStallLimit(std::chrono::milliseconds limit) {
    std::lock_guard<std::mutex> guard(controlLock_);
    stallLimit_ = limit;
}

void StreamCapture::SetPlayMode(int mode) {
    std::lock_guard<std::mutex> guard(controlLock_);
    list_.setMode(mode);
}

int StreamCapture::GetPlayMode() {
    std::lock_guard<std::mutex> guard(controlLock_);
    return list_.mode();
}

void StreamCapture::AddFile(const std::string& path) {
    std::lock_guard<std::mutex> guard(controlLock_);
    list_.add(path);
}

void StreamCapture::RemoveFile(const std::string& path) {
    std::lock_guard<std::mutex> guard(controlLock_);
    list_.remove(path);
}

void StreamCapture::RemoveAllFiles() {
    std::lock_guard<std::mutex> guard(controlLock_);
    list_.clear();
}

void StreamCapture::SetCurPlay(const std::string& path) {
    std::lock_guard<std::mutex> guard(controlLock_);
    if (list_.setCurrent(path) && playing_) {
        failuresInARow_ = 0;
        playFile(path);
    }
}

std::string StreamCapture::GetCurPlay() {
    std::lock_guard<std::mutex> guard(controlLock_);
    return list_.current();
}

int StreamCapture::Start() {
    std::unique_lock<std::mutex> guard(controlLock_);
    if (playing_) {
        return 0;
    }
    if (list_.empty()) {
        debugLog("StreamCapture, nothing to play: the play list is empty");
        return -1;
    }
    if (!delivery_ || !ensureGStreamer()) {
        return -1;
    }
    // No sound server: a sink that keeps time, so pictures keep their pace.
    audioOutput_ = speakerAnswers();
    if (list_.current().empty()) {
        list_.advance();
    }
    failuresInARow_ = 0;
    playing_ = true;
    delivery_->setEnabled(true);
    busWatcher_.start([this](GstMessage* message, GstBus* from) { onBusMessage(message, from); });
    playFile(list_.current(), std::exchange(resumeAt_, -1));
    return 0;
}

void StreamCapture::ResumeAt(int64_t milliseconds) {
    std::lock_guard<std::mutex> guard(controlLock_);
    resumeAt_ = std::max<int64_t>(milliseconds, -1);
}

int StreamCapture::Stop() {
    playing_ = false;
    busWatcher_.stop();  // outside the lock: the bus thread may be waiting for it
    std::lock_guard<std::mutex> guard(controlLock_);
    if (delivery_) {
        delivery_->setEnabled(false);
    }
    dropPlayer();
    resumeAt_ = -1;
    return 0;
}

void StreamCapture::playFile(const std::string& path, int64_t startAt) {
    dropPlayer();
    playerFile_ = path;
    beginPass();
    prerolled_ = false;
    pendingSeek_ = startAt;
    // Playing at once would show the file's first pictures before the seek.
    heldPaused_ = startAt >= 0;
    if (!newPlayer()) {
        pendingError_ = "no player";
        return;
    }
    GError* error = nullptr;
    gchar* uri = gst_filename_to_uri(path.c_str(), &error);
    if (uri == nullptr) {
        g_clear_error(&error);
        uri = g_strdup("file:///nonexistent");
    }
    g_object_set(player_, "uri", uri, nullptr);
    g_free(uri);
    gst_element_set_state(player_, heldPaused_ ? GST_STATE_PAUSED : GST_STATE_PLAYING);
}

void StreamCapture::onBusMessage(GstMessage* message, GstBus* from) {
    std::lock_guard<std::mutex> guard(controlLock_);
    if (!playing_ || from != playerBus_) {
        return;  // a message of a player that has been replaced
    }
    if (message == nullptr) {
        onQuietBus();
    } else if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS) {
        onStreamEnd();
    } else if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
        onError(message);
    } else if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ASYNC_DONE) {
        onPrerolled();
    }
    noticeStall();
}

void StreamCapture::onPrerolled() {
    // Every flushing seek prerolls again: only the first preroll has work.
    prerolled_ = true;
    int64_t target = std::exchange(pendingSeek_, -1);
    if (target >= 0 && !seekTo(target)) {
        debugLog("StreamCapture, %s cannot go to %lld ms; it plays from where it is",
                 playerFile_.c_str(), static_cast<long long>(target));
    }
    if (std::exchange(heldPaused_, false)) {
        gst_element_set_state(player_, GST_STATE_PLAYING);
    }
}

bool StreamCapture::seekTo(int64_t milliseconds) {
    auto flags = static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE);
    lastSignOfLife_ = SteadyClock::now();  // the pictures pause while it seeks
    return gst_element_seek_simple(player_, GST_FORMAT_TIME, flags, milliseconds * GST_MSECOND);
}

void StreamCapture::noticeStall() {
    if (player_ == nullptr || !pendingError_.empty()) {
        return;
    }
    uint64_t arrived = delivery_->arrivedFrames();
    auto now = SteadyClock::now();
    if (arrived != framesAtLastSign_) {
        framesAtLastSign_ = arrived;
        lastSignOfLife_ = now;
        return;
    }
    if (now - lastSignOfLife_ >= stallLimit_) {
        // Acted on as any error is, once the bus is quiet (at once, when the
        // pipeline is stuck).
        pendingError_ = "no picture for " + std::to_string(stallLimit_.count()) + " ms";
    }
}

void StreamCapture::onStreamEnd() {
    delivery_->sendMessage(MSG_STREAM_END);
    failuresInARow_ = 0;
    const std::string& next = list_.advance();
    if (next.empty() || (next == playerFile_ && playAgain())) {
        return;
    }
    playFile(next);
}

bool StreamCapture::playAgain() {
    if (player_ == nullptr ||
        !gst_element_seek_simple(player_, GST_FORMAT_TIME,
                                 static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH |
                                                           GST_SEEK_FLAG_ACCURATE),
                                 0)) {
        return false;
    }
    beginPass();
    return true;
}

void StreamCapture::beginPass() {
    pendingError_.clear();
    resting_ = false;
    framesAtLastSign_ = delivery_->arrivedFrames();
    lastSignOfLife_ = SteadyClock::now();
}

void StreamCapture::onError(GstMessage* message) {
    if (resting_ || !pendingError_.empty()) {
        return;  // a failing file posts several errors: the first one says why
    }
    GError* error = nullptr;
    gst_message_parse_error(message, &error, nullptr);
    pendingError_ = error != nullptr ? error->message : "unknown error";
    g_clear_error(&error);
}

void StreamCapture::onQuietBus() {
    if (pendingError_.empty()) {
        return;
    }
    debugLog("StreamCapture, cannot play %s: %s", list_.current().c_str(), pendingError_.c_str());
    pendingError_.clear();
    if (++failuresInARow_ >= list_.size()) {
        // Nothing in the list plays: end the stream rather than spin.
        delivery_->sendMessage(MSG_STREAM_END);
        dropPlayer();
        resting_ = true;
        return;
    }
    const std::string& next = list_.advance();
    if (!next.empty()) {
        playFile(next);
    }
}

bool StreamCapture::queryPosition(int64_t* milliseconds) {
    if (player_ == nullptr || !playing_) {
        return false;
    }
    if (pendingSeek_ >= 0) {
        *milliseconds = pendingSeek_;
        return true;
    }
    gint64 at = 0;
    if (!gst_element_query_position(player_, GST_FORMAT_TIME, &at)) {
        return false;
    }
    *milliseconds = at / GST_MSECOND;
    return true;
}

bool StreamCapture::GetPlayTimeInfo(int64_t* position, int64_t* duration) {
    std::lock_guard<std::mutex> guard(controlLock_);
    int64_t at = 0;
    gint64 length = 0;
    if (!queryPosition(&at) || !gst_element_query_duration(player_, GST_FORMAT_TIME, &length)) {
        return false;
    }
    *position = at;
    *duration = length / GST_MSECOND;
    return true;
}

bool StreamCapture::GetPlayPosition(int64_t* position) {
    std::lock_guard<std::mutex> guard(controlLock_);
    return queryPosition(position);
}

bool StreamCapture::SetPlayTime(int64_t milliseconds) {
    std::lock_guard<std::mutex> guard(controlLock_);
    if (player_ == nullptr || !playing_ || milliseconds < 0) {
        return false;
    }
    if (!prerolled_) {
        pendingSeek_ = milliseconds;
        return true;
    }
    return seekTo(milliseconds);
}

void StreamCapture::MuteAudio(bool mute) {
    std::lock_guard<std::mutex> guard(controlLock_);
    muted_ = mute;
    applyVolume();
}

bool StreamCapture::IsAudioMuted() {
    std::lock_guard<std::mutex> guard(controlLock_);
    if (player_ == nullptr) {
        return muted_;
    }
    gboolean mute = FALSE;
    g_object_get(player_, "mute", &mute, nullptr);
    return mute != FALSE;
}

bool StreamCapture::GetVolume(int* level) {
    std::lock_guard<std::mutex> guard(controlLock_);
    *level = volumeLevel_;
    return true;
}

int StreamCapture::AdjustRenderVolume(int level) {
    std::lock_guard<std::mutex> guard(controlLock_);
    volumeLevel_ = std::clamp(level, kSilent, 0);
    applyVolume();
    return 0;
}

void StreamCapture::applyVolume() {
    if (player_ == nullptr) {
        return;
    }
    // Hundredths of a decibel to a linear factor; the bottom of the range is
    // true silence rather than -100 dB.
    double linear = volumeLevel_ <= kSilent ? 0.0 : std::pow(10.0, volumeLevel_ / 2000.0);
    g_object_set(player_, "volume", linear, "mute", muted_ ? TRUE : FALSE, nullptr);
}

uint64_t StreamCapture::DeliveredFrames() const {
    return delivery_ ? delivery_->deliveredFrames() : 0;
}

void StreamCapture::SetLatencyObserver(FrameDelivery::LatencyObserver observer, void* context) {
    std::lock_guard<std::mutex> guard(controlLock_);
    latencyObserver_ = observer;
    latencyContext_ = context;
    if (delivery_) {
        delivery_->setLatencyObserver(observer, context);
    }
}
