#pragma once

#include <cstdint>

// Where a live stream stands, as its listener is told.
enum class LiveState {
    Connecting,    // set up, reaching the server for the first time
    Live,          // the server takes what is sent
    Reconnecting,  // the server went away after it was live; trying again
    Stopped,       // for good, with a LiveStopReason
};

// Why a stream stopped. Every reason but Requested is a failure a person can
// act on; only KeyRefused and BadUrl end a stream that was live before
// (anything else there is worth another try).
enum class LiveStopReason {
    None,               // not stopped
    Requested,          // stop() was called
    BadUrl,             // the address is no rtmp://, rtmps:// or srt:// address
    UnknownHost,        // the host's name does not resolve
    ConnectionRefused,  // nothing listens at the address's port
    KeyRefused,         // the server refused to take a stream under this key
    TlsFailure,         // rtmps:// (or SRT encryption) could not be agreed
    NoAnswer,           // the server took the connection but never answered
    Failed,             // anything else (an encoder, the muxer, a lost connection)
};

const char* liveStateName(LiveState state);
const char* liveStopReasonName(LiveStopReason reason);

// Told every change of state: Connecting, or Stopped with BadUrl, on the
// thread that calls start(); every later one on the stream's own thread.
// `reason` is None except with Stopped. It must not call back into the
// stream's stop().
class LiveStreamListener {
public:
    virtual void onLiveState(LiveState state, LiveStopReason reason) = 0;

protected:
    ~LiveStreamListener() = default;
};

// What the stream did so far, for a panel to show.
struct LiveCounters {
    double secondsLive = 0;        // summed over every stretch it was live
    uint64_t bytesSent = 0;        // muxed bytes the sink took
    uint64_t picturesSent = 0;     // pictures that reached the encoder
    uint64_t picturesLeftOut = 0;  // pictures dropped because the stream was behind or down
    uint64_t bytesWaiting = 0;     // in the stream now, not yet handed to the network

    // The mean rate while live, in kbit/s.
    double kbitsPerSecond() const {
        return secondsLive > 0 ? static_cast<double>(bytesSent) * 8 / 1000 / secondsLive : 0;
    }
};
