#include "sources/camera_source.h"

#include "libs/capture/video_capture.h"

CameraSource::CameraSource(unsigned deviceIndex, int32_t captureWidth, int32_t captureHeight,
                           const OutputMode& mode)
    : capture_(std::make_unique<VideoCapture>()),
      deviceIndex_(deviceIndex),
      captureWidth_(captureWidth),
      captureHeight_(captureHeight),
      wantedRate_(mode.frameRate) {
    typeId_ = SOURCE_TYPE_CAMERA;
    VideoSource::SetFrameSize(mode.width, mode.height);
    openCapture();
}

void CameraSource::openCapture() {
    // The standard picture keeps the capture size the person chose; a larger
    // one asks the camera for its own size and rate.
    bool standard = Width() == VideoFrame::kWidth && Height() == VideoFrame::kHeight;
    capture_->Init(standard ? captureWidth_ : Width(), standard ? captureHeight_ : Height(),
                   Width(), Height(), deviceIndex_);
    capture_->SetWantedRate(standard ? 0 : wantedRate_);
    capture_->Advise(this);
}

CameraSource::~CameraSource() {
    MarkStopped();
    capture_->Stop();
    capture_->UnInit();
}

int32_t CameraSource::StartDelivery(bool wasRunning) {
    // Until this start's first frame the placeholder shows, never a picture
    // left from before (another device, or the moment it was stopped).
    if (!wasRunning) {
        SetFrameValid(false);
    }
    return capture_->Start() == 0 ? 0 : -1;
}

void CameraSource::StopDelivery() { capture_->Stop(); }

void CameraSource::OnFrame(unsigned char* data, size_t size) {
    effects_.Apply(data, size, Width(), Height(), SOURCE_TYPE_CAMERA);
    PushFrame(data, size);
}

void CameraSource::OnStreamEnd() {
    // The camera failed while running (pulled out, a bus error): its last
    // picture must not stay on show, so the graph falls back to the
    // placeholder, and a later Start really starts it again.
    MarkStopped();
    SetFrameValid(false);
    if (failureObserver_) {
        failureObserver_();
    }
}

void CameraSource::Reopen(unsigned deviceIndex, int32_t captureWidth, int32_t captureHeight) {
    Stop();
    capture_->UnInit();
    deviceIndex_ = deviceIndex;
    captureWidth_ = captureWidth;
    captureHeight_ = captureHeight;
    openCapture();
}

void CameraSource::SetFrameSize(int32_t width, int32_t height) {
    if (width == Width() && height == Height()) {
        return;
    }
    bool running = IsRunning();
    Stop();
    capture_->UnInit();
    VideoSource::SetFrameSize(width, height);
    openCapture();
    if (running) {
        Start();
    }
}

void CameraSource::SetFailureObserver(std::function<void()> observer) {
    failureObserver_ = std::move(observer);
}

void CameraSource::ShowProperty(QWidget* parent) { capture_->ShowProperty(parent); }

VideoCapture& CameraSource::Capture() { return *capture_; }
