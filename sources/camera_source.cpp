#include "sources/camera_source.h"

#include "libs/capture/video_capture.h"

CameraSourcePrivate::CameraSourcePrivate(CameraSource* owner)
    : capture(std::make_unique<VideoCapture>()), source(owner) {}

CameraSourcePrivate::~CameraSourcePrivate() = default;

void CameraSourcePrivate::OnSimplyCallBack(int msg, unsigned char* data, long size) {
    if (msg == MSG_STREAM_END) {
        // The camera failed while running (pulled out, a bus error): its last
        // picture must not stay on show, so the graph falls back to the
        // placeholder, and a later Start really starts it again.
        running = false;
        source->SetFrameValid(false);
        if (failureObserver) {
            failureObserver();
        }
        return;
    }
    if (msg != MSG_FRAME || data == nullptr || size <= 0) {
        return;
    }
    source->Effects().Apply(data, static_cast<size_t>(size), SOURCE_TYPE_CAMERA);
    source->PushFrame(data, static_cast<size_t>(size));
}

CameraSource::CameraSource(unsigned deviceIndex, int32_t captureWidth, int32_t captureHeight)
    : private_(std::make_unique<CameraSourcePrivate>(this)) {
    typeId_ = SOURCE_TYPE_CAMERA;
    private_->capture->Init(captureWidth, captureHeight, Width(), Height(), deviceIndex);
    private_->capture->Advise(private_.get());
}

CameraSource::~CameraSource() {
    private_->running = false;
    private_->capture->Stop();
    private_->capture->UnInit();
}

int32_t CameraSource::Start() {
    // Until this start's first frame the placeholder shows, never a picture
    // left from before (another device, or the moment it was stopped).
    if (!private_->running) {
        SetFrameValid(false);
    }
    // Running before the capture starts, so that a failure the capture
    // reports at once is not overwritten afterwards.
    private_->running = true;
    if (private_->capture->Start() != 0) {
        private_->running = false;
        return -1;
    }
    return 0;
}

void CameraSource::Stop() {
    private_->running = false;
    private_->capture->Stop();
}

bool CameraSource::IsRunning() { return private_->running; }

void CameraSource::Reopen(unsigned deviceIndex, int32_t captureWidth, int32_t captureHeight) {
    Stop();
    private_->capture->UnInit();
    private_->capture->Init(captureWidth, captureHeight, Width(), Height(), deviceIndex);
    private_->capture->Advise(private_.get());
}

void CameraSource::SetFailureObserver(std::function<void()> observer) {
    private_->failureObserver = std::move(observer);
}

void CameraSource::ShowProperty(QWidget* parent) { private_->capture->ShowProperty(parent); }

VideoCapture& CameraSource::Capture() { return *private_->capture; }
