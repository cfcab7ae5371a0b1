#pragma once

#include <gst/app/gstappsink.h>
#include <gst/gst.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "libs/recorder/aac_delay.h"
#include "libs/recorder/i420_picture.h"
#include "libs/recorder/media_clock.h"
#include "libs/recorder/picture_hand_off.h"

class EncodedFeed;

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

// Encodes pictures and sound once for every place they go: H.264 (x264, zero
// latency, constant bit rate, a key frame every 2 s, no B-frames) and AAC
// (stereo, 48 kHz, 128 kbit/s). Each encoded picture and block of sound is
// handed to every attached EncodedFeed (a connection to a server, a file),
// which muxes it on its own; a feed that falls behind leaves out what it
// cannot take, and the encoder and the other feeds never wait for it.
//
// A feed attached later begins at a key frame the encoder makes for it at
// once. Pictures are left out before the encoder only when it falls behind
// them itself (its bounded pool runs dry).
//
// Threads: start and finish from one control thread; handPicture from one
// picture thread (it only copies); pushSound from one sound thread; attach,
// detach, waitForPictures and the counters from any thread. The encoder's
// output reaches the feeds on GStreamer's threads. Locks, each with one
// purpose:
// - feedsLock_: the list of feeds between attach/detach and the threads
//   that hand the encoded data on (detach returns once no hand-on uses it);
// - doneLock_: the count of pictures through the encoder, for
//   waitForPictures.
class LiveEncoder {
public:
    LiveEncoder();
    ~LiveEncoder();
    LiveEncoder(const LiveEncoder&) = delete;
    LiveEncoder& operator=(const LiveEncoder&) = delete;

    // Builds the encoders and starts them; false, with the reason, when they
    // cannot be built.
    bool start(const LiveSettings& settings, std::string* problem);
    const LiveSettings& settings() const { return settings_; }

    // A bottom-row-first 24-bit picture of the settings' size, made now.
    // Never waits: a picture that finds the hand-off busy is left out.
    void handPicture(const uint8_t* bottomUpBgr, size_t size);
    // A block of 16-bit interleaved sound as the settings describe it.
    void pushSound(const uint8_t* pcm, int size);

    // The feed gets everything encoded from the next key frame on, which is
    // asked for now. It must stay alive until detach returns.
    void attach(EncodedFeed* feed);
    void detach(EncodedFeed* feed);

    // Waits (at most `limit`) until every picture handed so far has come
    // out of the encoder or was left out; false when the limit passed.
    bool waitForPictures(std::chrono::milliseconds limit);

    // Pictures handed since start, and of those the ones left out before
    // the encoder.
    uint64_t picturesHanded() const { return picturesHanded_.load(); }
    uint64_t picturesLeftOut() const;
    // Bytes of raw pictures and sound waiting for the encoders.
    uint64_t bytesWaiting() const;

    // Ends the encoders and the hand-off; the feeds still attached get
    // nothing more.
    void finish();

    // How long after its stamped time the AAC encoder's sound is heard when
    // decoded (see aac_delay.h): a player would otherwise hear everything
    // 33 ms after it sees it. The feeds time the sound that much earlier.
    static constexpr GstClockTime kSoundLag = aacSoundLag(48000);

private:
    std::string description() const;
    void encodePicture(const uint8_t* uprightBgr, uint64_t madeNs);
    // Whether the picture at `pts` must be made a key frame: one was asked
    // for, or key frames would otherwise fall more than 2 s apart in time
    // because pictures were left out.
    bool keyFrameDue(GstClockTime pts);
    void noteDone(uint64_t pictures);
    static GstFlowReturn handOnVideo(GstAppSink* sink, gpointer self);
    static GstFlowReturn handOnSound(GstAppSink* sink, gpointer self);
    void handOn(GstAppSink* sink, bool video);

    LiveSettings settings_;
    GstElement* pipeline_ = nullptr;
    GstElement* videoSource_ = nullptr;
    GstElement* soundSource_ = nullptr;
    GstElement* videoOut_ = nullptr;
    GstElement* soundOut_ = nullptr;
    GstBufferPool* videoPool_ = nullptr;
    GstBufferPool* soundPool_ = nullptr;
    int bytesPerSampleFrame_ = 4;
    I420Picture i420_;
    MediaClock clock_;
    PictureHandOff handOff_;

    // x264 makes a key frame every 2 s of pictures (ultrafast has no scene
    // cuts); when pictures were left out, that falls later in time, and a
    // key frame is asked for up to kKeyMargin before. Only the hand-off's
    // thread touches lastKey_ and picturesSinceKey_.
    static constexpr GstClockTime kKeyInterval = 2 * GST_SECOND;
    static constexpr GstClockTime kKeyMargin = GST_SECOND / 2;
    std::optional<GstClockTime> lastKey_;
    int picturesSinceKey_ = 0;
    std::atomic<bool> keyFrameAsked_{false};

    // Pictures made in advance, and at most waiting for the encoder: a
    // quarter to half a second of them (25 MB at 1080p).
    static constexpr unsigned kPicturesMade = 2;
    static constexpr unsigned kPicturesWaiting = 8;
    // Blocks of sound waiting for the encoder: 32 of 4,096 bytes are 0.7 s.
    static constexpr unsigned kSoundWaiting = 32;

    std::atomic<uint64_t> picturesHanded_{0};
    std::atomic<uint64_t> picturesDropped_{0};  // by the pool, on the hand-off's thread

    std::mutex feedsLock_;
    std::vector<EncodedFeed*> feeds_;

    std::mutex doneLock_;
    std::condition_variable doneChanged_;
    uint64_t picturesDone_ = 0;  // out of the encoder or left out
};
