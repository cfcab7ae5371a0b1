#pragma once

#include <condition_variable>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/play_list.h"
#include "base/simply_callback.h"

class QImage;

// A slideshow of still pictures on a thread of its own: each picture is
// decoded (EXIF orientation honoured), fitted into the frame keeping its
// proportions with black bars or stretched over it, and handed to the receiver
// as one 32-bit frame, bottom row first, with MSG_FRAME; then the next one
// after the show time. An animated picture (GIF) plays its frames, looping,
// for the show time. Pictures that cannot be decoded are skipped. Very
// large pictures are decoded at a reduced size, never held whole.
//
// Threads: the calls come from one control thread; the receiver is called on
// the slideshow's thread, under the engine's lock (it must not call back).
// Stop does not wait for a picture being decoded: that thread is left to
// finish on its own, hands nothing over, and is joined later.
class PicEngine {
public:
    PicEngine();
    ~PicEngine();
    PicEngine(const PicEngine&) = delete;
    PicEngine& operator=(const PicEngine&) = delete;

    void Init(int width, int height, ISimplyCallBack* receiver);
    void AddFile(const wchar_t* path);
    void RemoveFile(const wchar_t* path);
    void RemoveAllFiles();
    // Shows this picture now when running, else first when started.
    void SetCurPlay(const wchar_t* path);
    void SetPlaySeq(int sequence);  // 1 in list order, repeating; 0 random
    void SetKeepRatio(bool keep);
    void SetShowTime(int milliseconds);
    // 0: the slideshow runs (also with an empty list: it shows what is added).
    int Start();
    // No frame reaches the receiver after Stop returns. Returns at once, also
    // while a large picture is being decoded.
    void Stop();
    // Stops, waits for every slideshow thread and forgets the list.
    void UnInit();

    // Pictures of at least this many pixels are shown only when their format
    // can be decoded at a reduced size.
    static constexpr int64_t kHugePixels = 10000LL * 10000LL;

private:
    // One start's thread and the frame it fills. The size is the engine's at
    // that start and never changes: a show left running by Stop may still be
    // composing when Init gives the engine another size.
    struct Show {
        int width = 0;
        int height = 0;
        std::thread thread;
        std::vector<uint8_t> frame;
        bool finished = false;  // under lock_
    };

    enum class Shown { Not, Still, Animated };

    void run(uint64_t generation, Show* show);
    Shown showNext(std::unique_lock<std::mutex>& lock, uint64_t generation, Show* show);
    static bool isAnimation(const std::string& path);
    // Plays an animated picture's frames, from the start again when they
    // run out, for the show time or until stopped or told to jump; false
    // when not even its first frame could be read. Called and returns with
    // the lock held; decodes without it.
    bool playAnimation(std::unique_lock<std::mutex>& lock, uint64_t generation, Show* show,
                       const std::string& path, bool keepRatio);
    void joinFinishedShows();
    static bool render(const std::string& path, bool keepRatio, Show* show);
    // Fits the picture into the show's frame (bars or stretched), bottom row
    // first.
    static void compose(const QImage& picture, bool keepRatio, Show* show);

    // The size of the shows started from now on.
    int width_ = 0;
    int height_ = 0;
    ISimplyCallBack* receiver_ = nullptr;

    // Guards the list, the settings, the generation and the shows' finished
    // flags; held while a frame is handed over.
    std::mutex lock_;
    std::condition_variable wake_;
    PlayList list_;
    bool keepRatio_ = true;
    int showTimeMs_ = 3000;
    bool jumpNow_ = false;  // a SetCurPlay wants its picture shown at once
    bool running_ = false;
    // Each Start begins a new generation and Stop ends it; a thread whose
    // generation has ended hands nothing over and ends.
    uint64_t generation_ = 0;
    std::list<Show> shows_;  // the current one last; stable addresses
};
