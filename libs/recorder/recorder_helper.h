#pragma once

#include <gst/gst.h>

#include <atomic>
#include <cstdint>
#include <shared_mutex>
#include <string>

#include "libs/recorder/i420_picture.h"
#include "libs/recorder/media_clock.h"
#include "libs/recorder/picture_hand_off.h"

// Records raw sound and pictures into an FLV file: H.264 (zero latency, a key
// frame every two seconds) and AAC. Each block of data is stamped on arrival
// from one monotonic clock shared by both channels, so sound and picture stay
// together; sound is stamped by its sample count from the moment its first
// block came, so it never drifts, and pictures go as much later as the AAC
// encoder's sound is heard after its time stamp. FLV is written as a stream,
// so a process that dies mid-recording leaves a file that plays up to its
// last seconds.
//
// Threads: InputChannelData may be called from two threads at once (the
// graph's worker for pictures, the audio thread for sound); the other calls
// come from one control thread. A picture is only copied on the caller's
// thread; a PictureHandOff converts it on a thread of its own, which Stop
// ends (after the pictures waiting there) before it ends the file.
class RecorderHelper {
public:
    RecorderHelper();
    ~RecorderHelper();
    RecorderHelper(const RecorderHelper&) = delete;
    RecorderHelper& operator=(const RecorderHelper&) = delete;

    // Interleaved PCM; the first value is the size of the blocks that will
    // come. A channel id >= 0, negative on failure. Before InitChannels only.
    int AddAudioChannelPcm(int blockSize, int samplesPerSec, int channels, int bitsPerSample);
    // Bottom-row-first 24-bit B, G, R pictures, rows of whole 32-bit words and
    // an even height. A channel id >= 0, negative on failure.
    int AddVideoChannelRgb24(int width, int height, int frameRate);
    // Creates the file and starts the encoders; false when the file cannot be
    // written or no channel was added.
    bool InitChannels(const wchar_t* path);
    // Appends one block (a picture, or sound) to a channel; false when it was
    // not taken.
    bool InputChannelData(int channel, const char* data, int size);
    // Drains the encoders (at most a few seconds) and closes the file.
    void Stop();

private:
    static constexpr int kAudio = 0;
    static constexpr int kVideo = 1;
    // The sound's rate in the file.
    static constexpr int kEncodedRate = 44100;

    // Converts an upright BGR picture into an I420 buffer for the encoder;
    // on the hand-off's thread.
    void encodePicture(const uint8_t* uprightBgr, GstClockTime pts, GstClockTime duration);
    std::string description() const;

    GstElement* pipeline_ = nullptr;
    GstElement* audioSource_ = nullptr;
    GstElement* videoSource_ = nullptr;
    // Blocks are copied into pooled buffers, so nothing is allocated per block.
    GstBufferPool* audioPool_ = nullptr;
    GstBufferPool* videoPool_ = nullptr;
    bool hasAudio_ = false;
    bool hasVideo_ = false;
    int audioBlock_ = 0;
    int sampleRate_ = 0;
    int channels_ = 0;
    int bytesPerFrame_ = 0;  // bytes of one audio sample frame (all channels)
    int width_ = 0;
    int height_ = 0;
    int frameRate_ = 0;
    // With sound, pictures are stamped this much later than the clock says:
    // the AAC encoder's sound is heard that long after its stamped time
    // (aac_delay.h), and its times cannot go earlier than the first block's
    // without going below zero. Its lead-in is left out, so that the file
    // still begins with the first sound heard and the first picture.
    GstClockTime pictureLag_ = 0;
    // The encoder's input; only the hand-off's thread converts.
    I420Picture i420_;
    // Stamps pictures (on the graph's worker) and sound (on the audio thread).
    MediaClock clock_;
    // Takes each picture off the graph's worker with one copy; the I420
    // conversion runs on its thread.
    PictureHandOff handOff_;
    std::atomic<bool> running_{false};
    std::atomic<bool> fed_{false};  // some block reached the encoders
    // Pictures made in advance, and at most waiting for the encoder.
    static constexpr unsigned kPicturesMade = 2;
    static constexpr unsigned kPicturesWaiting = 8;
    // Written only by the hand-off's thread; read by Stop after that thread
    // has ended.
    uint64_t picturesLeftOut_ = 0;
    // Feeding threads hold it shared while they push; Stop holds it alone
    // while it takes the pipeline down, so no push meets a freed pipeline.
    std::shared_mutex feedLock_;
};
