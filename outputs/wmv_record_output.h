#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "audio/wave_audio_in.h"
#include "engine/video_output.h"

class RecorderHelper;

// Channel selection bits of a recording.
constexpr int RECORD_SOUND = 1;
constexpr int RECORD_VIDEO = 2;

// The recording's own part: sets the recorder up, feeds it sound from the
// microphone (as the capture's sink, on the audio thread) and pictures.
class WmvRecordOutputPrivate : public WaveAudioSink {
public:
    WmvRecordOutputPrivate();
    ~WmvRecordOutputPrivate();

    bool setup(int width, int height, const std::wstring& path, int frameRate, int channels);
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
};

// Records the composed picture with the default microphone into a file. Made
// by the record panel for each recording, started, registered with the graph,
// and destroyed at the end. Pictures and sound that come before start or
// after stop are dropped.
//
// Threads: construction and start on the user-interface thread; stop and
// destruction, which wait for the file to be complete, on any one thread
// once the output is out of the graph; OnFrame24 on the graph's worker;
// sound on the audio thread.
class WmvRecordOutput : public VideoOutput {
public:
    // channels: RECORD_SOUND | RECORD_VIDEO bits; 0 fails the set-up.
    WmvRecordOutput(const std::wstring& path, int frameRate, int channels);
    ~WmvRecordOutput() override;

    // Starts the microphone (when sound is wanted) and the recording; false
    // when the set-up failed or the microphone cannot start.
    bool start();
    void stop();
    bool isOpened() const;

    void OnFrame24(const uint8_t* data, size_t size, int32_t width, int32_t height) override;

private:
    std::unique_ptr<WmvRecordOutputPrivate> private_;
};
