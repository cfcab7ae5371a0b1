#pragma once

#include <atomic>

#include "base/simply_callback.h"
#include "engine/video_source.h"

// A source whose frames a library (the camera capture, the file player, the
// slideshow) delivers on its own thread. It keeps the running state that the
// graph reads and turns the library's messages into frames: a frame is
// stored, the end of a stream makes the picture invalid so that the graph
// shows the placeholder instead of a stale picture.
//
// Threads: Start and Stop come from the user-interface thread; the library's
// messages from its delivery thread; IsRunning from any thread.
class DeliveredSource : public VideoSource, protected ISimplyCallBack {
public:
    // 0 when the library started; otherwise its failure code, and the source
    // is not running.
    int32_t Start() final;
    void Stop() final;
    bool IsRunning() final;

protected:
    // Starts the library's delivery; `wasRunning` tells a restart of a
    // source that was already running from a fresh start.
    virtual int32_t StartDelivery(bool wasRunning) = 0;
    virtual void StopDelivery() = 0;

    // On the delivery thread: a frame of `size` bytes (stored as it is unless
    // overridden) and the end of the stream. A frame whose size is not the
    // source's (the library still delivers the size from before a change)
    // never gets here.
    virtual void OnFrame(unsigned char* data, size_t size);
    virtual void OnStreamEnd();

    // For a source that stops on its own (a camera that fails).
    void MarkStopped() { running_ = false; }

private:
    void OnSimplyCallBack(int msg, unsigned char* data, long size) final;

    std::atomic<bool> running_{false};
};
