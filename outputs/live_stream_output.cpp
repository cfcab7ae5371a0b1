#include "outputs/live_stream_output.h"

#include "audio/wave_audio_in.h"
#include "base/debug_log.h"
#include "libs/recorder/live_stream.h"

// The stream's own part: the microphone's sink (on the audio thread) in front
// of the stream.
class LiveStreamOutputPrivate : public WaveAudioSink {
public:
    LiveStreamOutputPrivate() { microphone.SetSink(this); }

    void OnWaveData(int, const uint8_t* data, int size) override { stream.pushSound(data, size); }

    LiveSettings settings;
    LiveStream stream;
    WaveAudioIn microphone;
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
    WaveAudioIn& microphone = private_->microphone;
    if (!microphone.SetWaveFormat(private_->settings.channels, private_->settings.sampleRate, 16)) {
        return false;
    }
    if (!private_->stream.start(address, key, private_->settings, listener)) {
        return false;
    }
    // The microphone after the stream, which takes its first blocks at once.
    if ((!microphone.IsOpen() && !microphone.Open(-1)) || !microphone.Start()) {
        debugLog("LiveStreamOutput, no microphone: the stream stops");
        private_->stream.stop();
        microphone.Close();
        return false;
    }
    return true;
}

void LiveStreamOutput::stop() {
    // The sound stops first, so nothing reaches the stream while it ends.
    private_->microphone.Stop();
    private_->microphone.Close();
    private_->stream.stop();
}

LiveState LiveStreamOutput::state() const { return private_->stream.state(); }

LiveStopReason LiveStreamOutput::stopReason() const { return private_->stream.stopReason(); }

LiveCounters LiveStreamOutput::counters() const { return private_->stream.counters(); }

void LiveStreamOutput::OnFrame24(const uint8_t* data, size_t size, int32_t width, int32_t height) {
    if (width != Width() || height != Height()) {
        return;  // the encoder was set up for another size
    }
    private_->stream.pushPicture(data, size);
}
