#pragma once

#include <gst/gst.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "base/play_list.h"
#include "base/simply_callback.h"
#include "libs/capture/bus_watcher.h"
#include "libs/capture/frame_delivery.h"

// A player of a list of video files: frames at each file's own rate, as 32-bit
// BGRx at the advised size, bottom row first, with MSG_FRAME on the streaming
// thread; MSG_STREAM_END at the end of each file, after which the next file
// plays. Sound goes to the desktop's sound server, or, when none answers, to a
// sink that only keeps the clock, so playback never fails for want of a
// speaker. A file that cannot be played is skipped with one debug line; when
// no file of the list can be played the player sends MSG_STREAM_END and rests.
// A file that shows no picture for the stall limit counts as one that cannot
// be played, whether or not its pipeline ever says so: a damaged file can
// leave a demuxer waiting for data that never comes, without an error.
//
// Threads: the calls come from one control thread; a bus thread of the
// player's own moves from file to file and makes the seeks a pipeline could
// not take before it prerolled; frames arrive on the streaming thread.
// One lock (the control lock) serialises the player's state between the two.
// Each file plays in a pipeline of its own; messages from any pipeline but the
// current one are ignored. A pipeline is taken down on a thread of its own and
// waited for only a bounded while, so a stuck one never holds up the list.
class StreamCapture {
public:
    static constexpr int kSilent = -10000;  // volume levels are hundredths of a decibel
    static constexpr std::chrono::milliseconds kDefaultStallLimit{5000};

    // Applies the decoder preferences of a filter description file (element
    // ranks). A missing or malformed file changes nothing and logs one line.
    static bool SetFilterDescXml(const std::string& path);

    StreamCapture();
    ~StreamCapture();
    StreamCapture(const StreamCapture&) = delete;
    StreamCapture& operator=(const StreamCapture&) = delete;

    // Frames of outWidth x outHeight go to receiver; null stops delivery.
    int Advise(int outWidth, int outHeight, ISimplyCallBack* receiver);
    // Frames beyond fps a second are dropped before they are scaled and
    // converted, which saves that work when the consumer samples at a lower
    // rate than the file's. 0 (the default) keeps every frame. Takes effect
    // at once on a file playing with a cap (also on its later passes when it
    // follows itself and is wound back); one playing without a cap gets it
    // with the next file played.
    void SetMaxFrameRate(int fps);
    // How long a file may go without a picture before it is given up (a
    // seek starts the count again). Takes effect at once.
    void SetStallLimit(std::chrono::milliseconds limit);
    void SetPlayMode(int mode);  // 1 the list in order, over and over; 0 random
    int GetPlayMode();
    void AddFile(const std::string& path);
    void RemoveFile(const std::string& path);
    void RemoveAllFiles();
    void SetCurPlay(const std::string& path);
    std::string GetCurPlay();
    // 0 when playing; -1 with an empty list or no GStreamer.
    int Start();
    // The next Start takes the current file up at `milliseconds` instead of
    // its start: its player is held paused until it can take the seek, so no
    // picture from before that place is delivered. A Stop forgets it.
    void ResumeAt(int64_t milliseconds);
    // No frame reaches the receiver after Stop returns.
    int Stop();
    // Milliseconds; false while unknown. While a seek waits for the player
    // to take it, the position is where the seek goes.
    bool GetPlayTimeInfo(int64_t* position, int64_t* duration);
    bool GetPlayPosition(int64_t* position);
    // A player that cannot take a seek yet (its file is still being opened)
    // takes it as soon as it can.
    bool SetPlayTime(int64_t milliseconds);
    void MuteAudio(bool mute);
    // Whether the sound is muted, as the player itself has it.
    bool IsAudioMuted();
    bool GetVolume(int* level);
    // level from kSilent (silence) to 0 (full volume).
    int AdjustRenderVolume(int level);

    uint64_t DeliveredFrames() const;
    void SetLatencyObserver(FrameDelivery::LatencyObserver observer, void* context);

private:
    // A fresh playbin for each file: a file's late messages then can never be
    // taken for the next one's.
    bool newPlayer();
    void dropPlayer();
    bool speakerAnswers();
    // From `startAt` milliseconds on when not negative.
    void playFile(const std::string& path, int64_t startAt = -1);
    // The same file again after its end: the player is wound back to its
    // start instead of being built anew, which for a short clip looped for
    // hours is a demuxer, two decoders and a sound stream set up every loop.
    // False when the player refuses the seek.
    bool playAgain();
    // A file starts playing, afresh or wound back: earlier errors are
    // forgotten and the stall limit counts from now.
    void beginPass();
    // On the bus thread; the handlers below run under the control lock.
    void onBusMessage(GstMessage* message, GstBus* from);
    void onStreamEnd();
    // The player has prerolled: it takes seeks now.
    void onPrerolled();
    bool seekTo(int64_t milliseconds);
    bool queryPosition(int64_t* milliseconds);
    void onError(GstMessage* message);
    void onQuietBus();
    // Gives the file up (as if it had failed) once no frame came for the
    // stall limit.
    void noticeStall();
    void applyVolume();

    std::mutex controlLock_;  // guards the player's state, the list and the pipeline
    PlayList list_;
    // Shared with the pipelines' sinks: one left to come down on its own
    // may still call it after this player is gone.
    std::shared_ptr<FrameDelivery> delivery_;
    GstElement* player_ = nullptr;
    // player_'s videorate (an owned reference); null when it plays without a cap.
    GstElement* rateCap_ = nullptr;
    std::string playerFile_;       // the file player_ plays
    GstBus* playerBus_ = nullptr;  // player_'s bus, not owned
    BusWatcher busWatcher_;
    std::atomic<bool> playing_{false};
    std::atomic<bool> audioOutput_{false};
    size_t failuresInARow_ = 0;
    std::chrono::milliseconds stallLimit_ = kDefaultStallLimit;
    uint64_t framesAtLastSign_ = 0;  // arrived frames when the player last showed life
    std::chrono::steady_clock::time_point lastSignOfLife_;
    std::string pendingError_;  // the first error of a burst, acted on when the bus is quiet
    bool resting_ = false;      // nothing in the list plays: later errors are old news
    int64_t resumeAt_ = -1;     // ms: where the next Start takes the current file up
    // A seek (ms) the current player makes as soon as it has prerolled; until
    // then a flushing seek would be refused, or undone by the preroll.
    int64_t pendingSeek_ = -1;
    bool prerolled_ = false;   // the current player has prerolled, so it takes seeks
    bool heldPaused_ = false;  // the current player waits paused for its pending seek
    int volumeLevel_ = 0;
    bool muted_ = false;
    int outWidth_ = 0;
    int outHeight_ = 0;
    int maxFrameRate_ = 0;
    FrameDelivery::LatencyObserver latencyObserver_ = nullptr;
    void* latencyContext_ = nullptr;
};
