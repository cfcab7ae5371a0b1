#pragma once

#include <gst/gst.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

#include "base/simply_callback.h"
#include "libs/capture/bus_watcher.h"
#include "libs/capture/capture_devices.h"
#include "libs/capture/frame_delivery.h"

class QWidget;

// A camera: opens device number deviceIndex of listCaptureDevices() at the
// capture size, in whatever pixel format the device offers there (MJPG is
// decoded), and delivers every frame scaled to the output size as 32-bit BGRx,
// bottom row first, with MSG_FRAME on the pipeline's streaming thread.
//
// Order: Init, Advise, then Start/Stop any number of times, Stop, UnInit.
// Every call comes from one control thread (the user-interface thread); the
// receiver is called on the streaming thread.
class VideoCapture {
public:
    VideoCapture();
    ~VideoCapture();
    VideoCapture(const VideoCapture&) = delete;
    VideoCapture& operator=(const VideoCapture&) = delete;

    // 0 when the device exists; -1 otherwise (Start then fails).
    int Init(int captureWidth, int captureHeight, int outWidth, int outHeight,
             unsigned deviceIndex);
    // Opens this device rather than one from the enumeration (a node that
    // just appeared, say); 0.
    int InitDevice(int captureWidth, int captureHeight, int outWidth, int outHeight,
                   const CaptureDevice& device);
    int Advise(ISimplyCallBack* receiver);
    // The rate the pictures are wanted at, for the next Start: with a rate,
    // the camera is opened in the format chooseCaptureFormat picks for the
    // capture size and rate (MJPG when raw cannot keep up); 0, the default,
    // lets the camera offer raw or MJPG at the capture size as it likes.
    void SetWantedRate(int fps) { wantedRate_ = fps; }
    // The format the camera was opened with, when one was chosen.
    std::optional<CaptureFormat> ChosenFormat() const;
    // 0 when the device opened and frames will flow; non-zero when it cannot
    // be opened (missing, not a camera). Returns without waiting for the
    // first frame: a device that refuses to stream later (busy, unplugged)
    // sends MSG_STREAM_END instead. A capture that failed is started anew.
    int Start();
    // No frame reaches the receiver after Stop returns.
    int Stop();
    int UnInit();
    // The device's own settings: its V4L2 controls, or a test camera's pattern.
    void ShowProperty(QWidget* parent);

    // A test camera's videotestsrc pattern, live while capturing.
    void SetTestPattern(int pattern);
    // Makes a capturing test camera fail as an unplugged webcam does: an
    // error from its source element; false for real cameras or when idle.
    bool PullOutTestCamera();
    int TestPattern() const { return device_.testPattern; }
    const CaptureDevice& Device() const { return device_; }
    // Frames delivered since Init, and a failure seen since the last Start.
    // A failure while running also sends MSG_STREAM_END to the receiver.
    uint64_t DeliveredFrames() const;
    bool HasFailed() const { return failed_.load(); }
    // How many times a pipeline was set playing since construction: each one
    // opens the device and negotiates its format once.
    uint64_t StartedPipelines() const { return startedPipelines_; }
    void SetLatencyObserver(FrameDelivery::LatencyObserver observer, void* context);

private:
    std::string pipelineDescription() const;
    std::string testCameraSource(int width, int height, int fps, bool jpeg) const;
    void onBusMessage(GstMessage* message);
    // A test camera that warms up drops its frames until the warm-up ends.
    void holdBackWarmup();
    void teardown();

    CaptureDevice device_;
    bool initialised_ = false;
    int captureWidth_ = 0;
    int captureHeight_ = 0;
    int outWidth_ = 0;
    int outHeight_ = 0;
    int wantedRate_ = 0;
    std::unique_ptr<FrameDelivery> delivery_;
    ISimplyCallBack* receiver_ = nullptr;
    FrameDelivery::LatencyObserver latencyObserver_ = nullptr;
    void* latencyContext_ = nullptr;

    GstElement* pipeline_ = nullptr;
    BusWatcher bus_;
    std::atomic<bool> failed_{false};
    gint64 warmupEnds_ = 0;          // monotonic microseconds; read on the streaming thread
    uint64_t startedPipelines_ = 0;  // the control thread's own
};
