#include "outputs/wmv_record_output.h"

#include <QString>

#include <atomic>

#include "audio/wave_audio_in.h"
#include "libs/recorder/encoded_recording.h"
#include "libs/recorder/recorder_helper.h"
#include "outputs/live_encode_share.h"

// The recording's own part: sets the recorder up, feeds it sound from the
// microphone (as the capture's sink, on the audio thread) and pictures.
class WmvRecordOutputPrivate : public WaveAudioSink {
public:
    WmvRecordOutputPrivate();
    ~WmvRecordOutputPrivate();

    bool setup(int width, int height, const std::wstring& path, int frameRate, int channels);
    // Records what the live stream's encoder makes, when one runs at this
    // size and rate and pictures are wanted.
    bool setupBesideStream(const std::wstring& path, int frameRate);
    bool start();
    void stop();
    void OnWaveData(int message, const uint8_t* data, int size) override;
    void feedPicture(const uint8_t* data, size_t size);

    int videoChannel = -1;
    int audioChannel = -1;
    WaveAudioIn capture;
    int channels = 0;
    std::atomic<bool> recording{false};
    bool opened = false;
    int width = 640;
    int height = 480;
    std::unique_ptr<RecorderHelper> recorder;
    // Beside a live stream: its encoder, and the file its output goes to.
    std::shared_ptr<LiveEncodeShare> share;
    EncodedRecording besideStream;
};

WmvRecordOutputPrivate::WmvRecordOutputPrivate() { capture.SetSink(this); }

WmvRecordOutputPrivate::~WmvRecordOutputPrivate() { stop(); }

bool WmvRecordOutputPrivate::setup(int pictureWidth, int pictureHeight, const std::wstring& path,
                                   int frameRate, int selection) {
    stop();
    width = pictureWidth;
    height = pictureHeight;
    channels = selection;
    if (channels == 0) {
        return false;
    }
    if ((channels & RECORD_VIDEO) && setupBesideStream(path, frameRate)) {
        return opened;
    }
    if (!recorder) {
        recorder = std::make_unique<RecorderHelper>();
    }
    if (channels & RECORD_SOUND) {
        if (!capture.SetWaveFormat(2, 44100, 16)) {
            return false;
        }
        audioChannel = recorder->AddAudioChannelPcm(WaveAudioIn::kBufferSize, 44100, 2, 16);
        if (audioChannel < 0) {
            return false;
        }
    }
    if (channels & RECORD_VIDEO) {
        videoChannel = recorder->AddVideoChannelRgb24(width, height, frameRate);
        if (videoChannel < 0) {
            return false;
        }
    }
    if (!recorder->InitChannels(path.c_str())) {
        return false;
    }
    opened = true;
    return true;
}

bool WmvRecordOutputPrivate::setupBesideStream(const std::wstring& path, int frameRate) {
    share = LiveEncodeShare::current(width, height, frameRate);
    // A stream without sound cannot give a recording that wants some.
    if (share && (channels & RECORD_SOUND) && !share->hasSound()) {
        share.reset();
    }
    if (!share) {
        return false;
    }
    // Its bit rate and sound rate are then the stream's.
    opened = besideStream.open(QString::fromStdWString(path).toStdString(),
                               (channels & RECORD_SOUND) != 0);
    if (!opened) {
        share.reset();
    }
    return true;
}

bool WmvRecordOutputPrivate::start() {
    if (!opened) {
        return false;
    }
    if (share) {
        besideStream.start(share->encoder());
        recording = true;
        return true;
    }
    // Recording before the microphone starts: its first buffers may come at
    // once (a source that delivers in large blocks) and must not be lost.
    recording = true;
    if (channels & RECORD_SOUND) {
        if ((!capture.IsOpen() && !capture.Open(-1)) || !capture.Start()) {
            recording = false;
            return false;
        }
    }
    return true;
}

void WmvRecordOutputPrivate::stop() {
    // Feeding stops first, so nothing reaches the recorder while it finishes.
    recording = false;
    if (share) {
        share->release(this);
        besideStream.stop();
        share.reset();
        opened = false;
        return;
    }
    if (channels & RECORD_SOUND) {
        capture.Stop();
        capture.Close();
    }
    if (recorder) {
        recorder->Stop();
        recorder.reset();
    }
    opened = false;
    videoChannel = -1;
    audioChannel = -1;
}

void WmvRecordOutputPrivate::OnWaveData(int, const uint8_t* data, int size) {
    if (recording && recorder) {
        recorder->InputChannelData(audioChannel, reinterpret_cast<const char*>(data), size);
    }
}

void WmvRecordOutputPrivate::feedPicture(const uint8_t* data, size_t size) {
    if (recording && share) {
        share->feed(this, data, size);
    } else if (recording && recorder) {
        recorder->InputChannelData(videoChannel, reinterpret_cast<const char*>(data),
                                   static_cast<int>(size));
    }
}

WmvRecordOutput::WmvRecordOutput(const std::wstring& path, int frameRate, int channels,
                                 int32_t width, int32_t height)
    : private_(std::make_unique<WmvRecordOutputPrivate>()) {
    SetPictureSize(width, height);
    if (!private_->setup(Width(), Height(), path, frameRate, channels)) {
        private_->stop();
    }
}

WmvRecordOutput::~WmvRecordOutput() { stop(); }

bool WmvRecordOutput::start() { return private_->start(); }

void WmvRecordOutput::stop() { private_->stop(); }

bool WmvRecordOutput::isOpened() const { return private_->opened; }

void WmvRecordOutput::OnFrame24(const uint8_t* data, size_t size, int32_t width, int32_t height) {
    if (width != Width() || height != Height()) {
        return;  // the encoder was set up for another size
    }
    private_->feedPicture(data, size);
}
