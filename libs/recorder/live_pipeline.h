#pragma once

#include <gst/gst.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "libs/recorder/i420_picture.h"
#include "libs/recorder/live_target.h"
#include "libs/recorder/media_clock.h"

// What a live stream is made of: the pictures' size and rate, the video bit
// rate and the sound that comes with them.
struct LiveSettings {
    int width = 640;
    int height = 480;
    int frameRate = 15;
    int videoKbps = 0;  // constant bit rate; 0: defaultLiveKbps for the size
    bool sound = true;  // 16-bit interleaved PCM in blocks of soundBlock bytes at most
    int sampleRate = 48000;
    int channels = 2;
    int soundBlock = 4096;
};

// 1500 kbit/s at 640 x 480, 3000 at 1280 x 720 and 4500 at 1920 x 1080: what
// live platforms ask for at those sizes with a steady picture.
int defaultLiveKbps(int width, int height);

// One connection of a live stream: the encoders, the muxer and the sink,
// from the first picture to the end of that connection. A stream that loses
// its server makes a new one (LiveStream), so each connection begins with a
// key frame, fresh headers and its own clock.
//
// H.264 (x264, zero latency, constant bit rate, a key frame every 2 s, no
// B-frames) and AAC (stereo, 48 kHz, 128 kbit/s) go as FLV to rtmp2sink or as
// MPEG-TS to srtsink. When the network cannot keep up, the sink blocks, the
// muxer and the encoder behind it wait, and the bounded buffer pools run dry:
// pictures and sound are then left out before the encoders, never after, so
// what is sent always decodes and nothing queues without bound.
//
// Threads: start and finish from the stream's own thread; pushPicture from
// one thread (the stream's hand-off), pushSound from one other (the audio
// thread), both between start and finish.
class LivePipeline {
public:
    LivePipeline() = default;
    ~LivePipeline();
    LivePipeline(const LivePipeline&) = delete;
    LivePipeline& operator=(const LivePipeline&) = delete;

    // Builds the pipeline and sets it going; the sink connects on its own
    // (failures come as bus messages, see popFailure). False, with the reason
    // in *problem, when the pipeline cannot be built.
    bool start(const LiveTarget& target, const std::string& key, const LiveSettings& settings,
               std::string* problem);

    // Converts an upright 24-bit picture that the graph made at `made` and
    // sends it; false when it was left out.
    bool pushPicture(const uint8_t* uprightBgr, std::chrono::steady_clock::time_point made);
    // Sends a block of sound that arrived now; false when it was left out.
    bool pushSound(const uint8_t* pcm, int size);

    // The next error or end of stream on the bus, waiting at most `wait`;
    // null when none came. The caller unrefs it.
    GstMessage* popFailure(GstClockTime wait);
    // The server accepted the stream: the sink has sent over a connection.
    bool isLive() const { return bytesOut() > 0; }
    // Bytes the muxer handed to the sink.
    uint64_t bytesSent() const { return bytesSent_.load(); }
    // Bytes the sink's connection wrote to the network (what the kernel
    // took); 0 before it has a connection.
    uint64_t bytesOut() const;
    // Bytes waiting in this connection before the sink: pictures and sound
    // not yet taken by the encoders, and encoded ones not yet taken by the
    // muxer. Bounded by the pools and the queues however long the sink
    // waits. Any thread.
    uint64_t bytesWaiting() const;

    // Ends the stream cleanly (end of stream into the sources, so that the
    // muxer closes it and the sink says goodbye to the server), waiting at
    // most `limit`, then stops everything.
    void finish(GstClockTime limit);

private:
    std::string description(const LiveTarget& target) const;
    void pointSink(const LiveTarget& target, const std::string& key);
    void watchSink();
    static GstPadProbeReturn noteSent(GstPad* pad, GstPadProbeInfo* info, gpointer self);
    // Whether the picture at `pts` must be made a key frame so that key
    // frames stay at most kKeyInterval apart in the stream's time; notes
    // the key frames x264 makes on its own.
    bool keyFrameDue(GstClockTime pts);

    LiveSettings settings_;
    GstElement* pipeline_ = nullptr;
    GstElement* sink_ = nullptr;
    GstElement* videoSource_ = nullptr;
    GstElement* soundSource_ = nullptr;
    GstElement* videoQueue_ = nullptr;
    GstElement* soundQueue_ = nullptr;
    GstBufferPool* videoPool_ = nullptr;
    GstBufferPool* soundPool_ = nullptr;
    int bytesPerSampleFrame_ = 4;
    I420Picture i420_;
    MediaClock clock_;
    // x264 makes a key frame every 2 s of pictures (ultrafast has no scene
    // cuts); when pictures were left out, that falls later in time, and a
    // key frame is asked for up to kKeyMargin before. Only the picture
    // thread touches these.
    static constexpr GstClockTime kKeyInterval = 2 * GST_SECOND;
    static constexpr GstClockTime kKeyMargin = GST_SECOND / 2;
    std::optional<GstClockTime> lastKey_;
    int picturesSinceKey_ = 0;
    std::atomic<uint64_t> bytesSent_{0};
    // Pictures made in advance, and at most waiting for the encoder: a
    // quarter to half a second of them (25 MB at 1080p).
    static constexpr unsigned kPicturesMade = 2;
    static constexpr unsigned kPicturesWaiting = 8;
    // Blocks of sound waiting for the encoder: 32 of 4,096 bytes are 0.7 s.
    static constexpr unsigned kSoundWaiting = 32;
};
