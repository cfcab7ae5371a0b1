#pragma once

#include <atomic>
#include <functional>
#include <memory>

#include "base/simply_callback.h"
#include "engine/effect_chain.h"
#include "engine/video_source.h"

class CameraSource;
class QWidget;
class VideoCapture;

// The receiver the capture library calls on its streaming thread: runs the
// camera's own effects over the library's buffer, then stores the frame.
class CameraSourcePrivate : public ISimplyCallBack {
public:
    explicit CameraSourcePrivate(CameraSource* source);
    ~CameraSourcePrivate();
    void OnSimplyCallBack(int msg, unsigned char* data, long size) override;

    std::unique_ptr<VideoCapture> capture;
    CameraSource* source;
    std::atomic<bool> running{false};
    std::function<void()> failureObserver;
};

// A webcam as a source. The camera opens at construction and starts only on
// Start. Its own effect chain (the face-slimming stretch) runs on every frame
// on the capture thread, before the frame is stored.
//
// Threads: every call comes from the user-interface thread; frames arrive on
// the capture library's streaming thread.
class CameraSource : public VideoSource {
public:
    CameraSource(unsigned deviceIndex, int32_t captureWidth, int32_t captureHeight);
    ~CameraSource() override;

    // -1 when the device cannot be opened (missing, not a camera). A camera
    // that fails once started (busy, unplugged) stops running on its own.
    int32_t Start() override;
    void Stop() override;
    bool IsRunning() override;

    // Opens another device or size; the camera stays stopped until Start.
    void Reopen(unsigned deviceIndex, int32_t captureWidth, int32_t captureHeight);
    void ShowProperty(QWidget* parent);

    // Called on the capture's thread when a running camera fails; its picture
    // is already invalid then. Set it while the camera is stopped.
    void SetFailureObserver(std::function<void()> observer);

    EffectChain& Effects() { return effects_; }
    VideoCapture& Capture();

private:
    EffectChain effects_;
    std::unique_ptr<CameraSourcePrivate> private_;
};
