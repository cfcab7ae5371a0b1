#include "libs/recorder/encoded_recording.h"

#include "base/debug_log.h"
#include "libs/recorder/muxer_tags.h"

namespace {
constexpr auto kDrainLimit = 5 * GST_SECOND;
// How long stopping waits for the pictures the encoder still holds.
constexpr std::chrono::milliseconds kEncoderCatchUp{1000};
// A disk may stall for a moment: up to 4 MiB of pictures (seconds of them at
// live bit rates) and 256 KiB of sound wait for it before any is left out.
constexpr uint64_t kMostVideoBytes = 4u << 20;
constexpr uint64_t kMostSoundBytes = 256u << 10;
}  // namespace

EncodedRecording::~EncodedRecording() { stop(); }

bool EncodedRecording::open(const std::string& path, bool sound) {
    // Each appsrc holds what waits for the muxer and pushes from a thread of
    // its own: a queue behind it would only add a thread and a hand-over
    // per picture and per block of sound.
    std::string text =
        "flvmux name=mux streamable=true ! filesink name=file buffer-mode=unbuffered "
        "appsrc name=video format=time is-live=false block=false ! mux.video ";
    if (sound) {
        text += "appsrc name=sound format=time is-live=false block=false ! mux.audio ";
    }
    GError* error = nullptr;
    pipeline_ = gst_parse_launch(text.c_str(), &error);
    if (pipeline_ == nullptr || error != nullptr) {
        debugLog("EncodedRecording, cannot build the recording: %s",
                 error != nullptr ? error->message : "?");
        g_clear_error(&error);
        close();
        return false;
    }
    dropTagsIntoMuxer(pipeline_);
    GstElement* file = gst_bin_get_by_name(GST_BIN(pipeline_), "file");
    g_object_set(file, "location", path.c_str(), nullptr);
    gst_object_unref(file);
    feed_ = std::make_unique<EncodedFeed>(pipeline_, kMostVideoBytes, kMostSoundBytes);
    // The file is created on the way to PAUSED; the muxer then waits for
    // its first picture.
    if (gst_element_set_state(pipeline_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        debugLog("EncodedRecording, cannot write %s", path.c_str());
        close();
        return false;
    }
    return true;
}

void EncodedRecording::start(std::shared_ptr<LiveEncoder> encoder) {
    if (pipeline_ == nullptr || !encoder || encoder_) {
        return;
    }
    encoder_ = std::move(encoder);
    encoderLeftOutAtStart_ = encoder_->picturesLeftOut();
    encoder_->attach(feed_.get());
}

void EncodedRecording::stop() {
    uint64_t leftOut = 0;
    if (encoder_) {
        // The pictures handed before the stop are in the file.
        encoder_->waitForPictures(kEncoderCatchUp);
        encoder_->detach(feed_.get());
        leftOut = encoder_->picturesLeftOut() - encoderLeftOutAtStart_;
        encoder_.reset();
    }
    if (pipeline_ != nullptr && feed_ && feed_->picturesTaken() > 0) {
        feed_->end();
        GstBus* bus = gst_element_get_bus(pipeline_);
        GstMessage* end = gst_bus_timed_pop_filtered(
            bus, kDrainLimit, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
        if (end == nullptr) {
            debugLog("EncodedRecording, the recording did not drain in time");
        } else {
            gst_message_unref(end);
        }
        gst_object_unref(bus);
    }
    leftOut += feed_ ? feed_->picturesLeftOut() : 0;
    if (leftOut > 0) {
        debugLog("EncodedRecording, %llu pictures left out: the encoder or the disk was behind",
                 static_cast<unsigned long long>(leftOut));
    }
    close();
}

void EncodedRecording::close() {
    if (pipeline_ != nullptr) {
        gst_element_set_state(pipeline_, GST_STATE_NULL);
    }
    feed_.reset();
    if (pipeline_ != nullptr) {
        gst_object_unref(pipeline_);
        pipeline_ = nullptr;
    }
}
