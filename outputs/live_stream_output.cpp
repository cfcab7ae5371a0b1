#include "outputs/live_stream_output.h"

#include <atomic>

#include "audio/wave_audio_in.h"
#include "base/debug_log.h"
#include "libs/recorder/live_stream.h"
#include "libs/recorder/live_target.h"
#include "outputs/live_encode_share.h"

// The stream's own part: the encoder it shares (with the microphone) and the
// connections to the server.
class LiveStreamOutputPrivate {
public:
    LiveSettings settings;
    LiveStream stream;
    std::shared_ptr<LiveEncodeShare> share;
    // What OnFrame24 hands pictures to; set once the share is ready, cleared
    // before it is let go.
    std::atomic<LiveEncodeShare*> feeding{nullptr};
};

LiveStreamOutput::LiveStreamOutput(int32_t width, int32_t height, int frameRate, int videoKbps)
    : private_(std::make_unique<LiveStreamOutputPrivate>()) {
    SetPictureSize(width, height);
    LiveSettings& settings = private_->settings;
    settings.width = width;
    settings.height = height;
    settings.frameRate = frameRate;
    settings.videoKbps = videoKbps;
    settings.sound = true;
    settings.sampleRate = 48000;
    settings.channels = 2;
    settings.soundBlock = WaveAudioIn::kBufferSize;
}

LiveStreamOutput::~LiveStreamOutput() { stop(); }

bool LiveStreamOutput::start(const std::string& address, const std::string& key,
                             LiveStreamListener* listener) {
    if (private_->share) {
        return false;
    }
    if (!parseLiveTarget(address)) {
        // No encoder or microphone for an address that cannot be streamed
        // to: the stream says why.
        return private_->stream.start(address, key, nullptr, listener);
    }
    std::shared_ptr<LiveEncodeShare> share = LiveEncodeShare::open(private_->settings);
    if (!share) {
        debugLog("LiveStreamOutput, no encoders: the stream does not start");
        return false;
    }
    if (!private_->stream.start(address, key, share->encoder(), listener)) {
        return false;
    }
    private_->share = share;
    private_->feeding = share.get();
    // A recording started from now on takes this stream's encoded pictures.
    LiveEncodeShare::publish(share);
    return true;
}

void LiveStreamOutput::stop() {
    LiveEncodeShare* share = private_->feeding.exchange(nullptr);
    if (share != nullptr) {
        LiveEncodeShare::withdraw(share);
        share->release(this);
    }
    private_->stream.stop();
    // A recording beside the stream keeps the encoder and the microphone.
    private_->share.reset();
}

bool LiveStreamOutput::hasSound() const {
    return private_->share != nullptr && private_->share->hasSound();
}

LiveState LiveStreamOutput::state() const { return private_->stream.state(); }

LiveStopReason LiveStreamOutput::stopReason() const { return private_->stream.stopReason(); }

LiveCounters LiveStreamOutput::counters() const { return private_->stream.counters(); }

void LiveStreamOutput::OnFrame24(const uint8_t* data, size_t size, int32_t width, int32_t height) {
    LiveEncodeShare* share = private_->feeding.load();
    if (share == nullptr || width != Width() || height != Height()) {
        return;  // not streaming, or the encoder was set up for another size
    }
    share->feed(this, data, size);
}
