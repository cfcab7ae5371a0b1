#pragma once

#include <memory>
#include <string>

#include "engine/video_output.h"
#include "libs/recorder/live_state.h"

class LiveStreamOutputPrivate;

// Streams the composed picture with the default microphone live to a server
// (rtmp://, rtmps:// or srt://), at the output mode's size and rate. Made for
// each stream, started, registered with the graph, and destroyed at the end.
// Pictures that come before start or after stop are dropped; a stream that
// falls behind leaves pictures out and never holds the graph's tick. While
// it is live, a recording of the same size and rate started beside it takes
// its encoded pictures and sound (WmvRecordOutput), so both cost one encode.
//
// Threads: construction, start, stop and destruction on one control thread
// (stop once the output is out of the graph); OnFrame24 on the graph's
// worker; sound on the audio thread; the listener on the stream's thread.
class LiveStreamOutput : public VideoOutput {
public:
    // Pictures of width x height at frameRate; videoKbps 0 takes the size's
    // default (1500 kbit/s at 640 x 480, 3000 at 720p, 4500 at 1080p).
    LiveStreamOutput(int32_t width, int32_t height, int frameRate, int videoKbps = 0);
    ~LiveStreamOutput() override;

    // Starts the microphone and the stream to `address` under `key`, which is
    // kept in memory only; without a microphone the stream has pictures only
    // (hasSound). False when the address is no stream address (the state is
    // then Stopped with BadUrl) or the encoders cannot be made.
    //
    // For rtmp:// and rtmps:// the key is the stream key, sent after the
    // address. For srt:// it is the listener's passphrase (10 to 79
    // characters; empty: no encryption), so that it is kept and shown as a
    // secret like a stream key. A "passphrase=" option in an srt:// address
    // is taken out of it and not used: the address appears in logs and
    // messages. A listener that refuses the passphrase stops the stream with
    // KeyRefused, and it is not tried again.
    bool start(const std::string& address, const std::string& key,
               LiveStreamListener* listener = nullptr);
    // Ends the stream cleanly (at most about 2 s). The encoder and the
    // microphone end with it, or go on for a recording that shares them.
    void stop();

    // The stream carries the microphone's sound (there was one to open).
    bool hasSound() const;
    LiveState state() const;
    LiveStopReason stopReason() const;
    LiveCounters counters() const;

    void OnFrame24(const uint8_t* data, size_t size, int32_t width, int32_t height) override;

private:
    std::unique_ptr<LiveStreamOutputPrivate> private_;
};
