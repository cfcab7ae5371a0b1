#pragma once

#include <memory>
#include <string>

#include "engine/video_output.h"

class WmvRecordOutputPrivate;

// Channel selection bits of a recording.
constexpr int RECORD_SOUND = 1;
constexpr int RECORD_VIDEO = 2;

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
    // channels: RECORD_SOUND | RECORD_VIDEO bits; 0 fails the set-up. The
    // pictures are width x height; frames of another size are left out.
    WmvRecordOutput(const std::wstring& path, int frameRate, int channels,
                    int32_t width = VideoFrame::kWidth, int32_t height = VideoFrame::kHeight);
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
