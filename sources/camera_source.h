#pragma once

#include <functional>
#include <memory>

#include "base/output_mode.h"
#include "engine/effect_chain.h"
#include "sources/delivered_source.h"

class QWidget;
class VideoCapture;

// A webcam as a source. The camera opens at construction and starts only on
// Start. It is made for the pictures of the mode it is given, so a camera
// brought up in a high-definition mode opens its device once, at that size,
// rather than at 640 x 480 and then again. Its own effect chain (the
// face-slimming stretch) runs on every frame on the capture thread, before
// the frame is stored.
//
// Threads: every call comes from the user-interface thread; frames arrive on
// the capture library's streaming thread.
class CameraSource : public DeliveredSource {
public:
    CameraSource(unsigned deviceIndex, int32_t captureWidth, int32_t captureHeight,
                 const OutputMode& mode = kStandardMode);
    ~CameraSource() override;

    // Opens another device or size; the camera stays stopped until Start.
    void Reopen(unsigned deviceIndex, int32_t captureWidth, int32_t captureHeight);
    // Pictures of another size: the camera is opened again for them, and a
    // running camera runs on.
    void SetFrameSize(int32_t width, int32_t height) override;
    // Above 640 x 480 the camera is opened at the size nearest the
    // pictures' and in a format that reaches this rate (MJPG when its raw
    // format cannot); at 640 x 480 at the size chosen in the panel.
    void SetFrameRate(int32_t fps) override { wantedRate_ = fps; }
    void ShowProperty(QWidget* parent);

    // Called on the capture's thread when a running camera fails; its picture
    // is already invalid then. Set it while the camera is stopped.
    void SetFailureObserver(std::function<void()> observer);

    EffectChain& Effects() { return effects_; }
    VideoCapture& Capture();

protected:
    // -1 when the device cannot be opened (missing, not a camera). A camera
    // that fails once started (busy, unplugged) stops running on its own.
    int32_t StartDelivery(bool wasRunning) override;
    void StopDelivery() override;
    void OnFrame(unsigned char* data, size_t size) override;
    void OnStreamEnd() override;

private:
    EffectChain effects_;
    void openCapture();

    std::unique_ptr<VideoCapture> capture_;
    unsigned deviceIndex_;
    int32_t captureWidth_;
    int32_t captureHeight_;
    int32_t wantedRate_ = 0;
    std::function<void()> failureObserver_;
};
