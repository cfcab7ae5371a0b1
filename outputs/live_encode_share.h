#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "audio/wave_audio_in.h"
#include "libs/recorder/live_encoder.h"

// The encoder of a live stream with the microphone that feeds it, shared by
// the stream and a recording made beside it, so that what both send is
// encoded once. It lives as long as one of them holds it: a stream that
// ends leaves it to the recording, and the other way round.
//
// Both outputs hand it the graph's pictures; it takes them from one at a
// time (the first that hands one, until it lets go), so each picture is
// encoded once.
//
// Threads: open, current, publish, withdraw and release on control threads;
// feed on the graph's worker; the microphone's sound on the audio thread.
// The registry of the live share has its own lock (see the source).
class LiveEncodeShare : public WaveAudioSink {
public:
    ~LiveEncodeShare();
    LiveEncodeShare(const LiveEncodeShare&) = delete;
    LiveEncodeShare& operator=(const LiveEncodeShare&) = delete;

    // Starts the encoders and the microphone for these settings (16-bit
    // sound); without a microphone, the encoders make pictures only (see
    // hasSound). Null when the encoders cannot start.
    static std::shared_ptr<LiveEncodeShare> open(const LiveSettings& settings);
    // The share of the stream that is live now, when its pictures have this
    // size and rate; null otherwise.
    static std::shared_ptr<LiveEncodeShare> current(int width, int height, int frameRate);
    // Makes `share` the live stream's, or, with withdraw, no longer.
    static void publish(const std::shared_ptr<LiveEncodeShare>& share);
    static void withdraw(const LiveEncodeShare* share);

    const std::shared_ptr<LiveEncoder>& encoder() const { return encoder_; }
    bool hasSound() const { return encoder_->settings().sound; }
    // A picture from `feeder` (an output); encoded when that output is the
    // one the share takes pictures from.
    void feed(const void* feeder, const uint8_t* bottomUpBgr, size_t size);
    // The output hands no more pictures; the other one takes over.
    void release(const void* feeder);

    void OnWaveData(int message, const uint8_t* data, int size) override;

private:
    LiveEncodeShare() = default;

    std::shared_ptr<LiveEncoder> encoder_;
    WaveAudioIn microphone_;
    std::atomic<const void*> feeder_{nullptr};
};
