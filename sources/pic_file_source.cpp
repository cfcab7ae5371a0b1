#include "sources/pic_file_source.h"

#include "libs/slideshow/pic_engine.h"

PicFileSource::PicFileSource() : engine_(std::make_unique<PicEngine>()) {
    engine_->Init(Width(), Height(), this);
}

PicFileSource::~PicFileSource() { engine_->UnInit(); }

int32_t PicFileSource::StartDelivery(bool) { return engine_->Start() == 0 ? 0 : -1; }

void PicFileSource::StopDelivery() { engine_->Stop(); }

void PicFileSource::SetFrameSize(int32_t width, int32_t height) {
    if (width == Width() && height == Height()) {
        return;
    }
    bool running = IsRunning();
    Stop();
    VideoSource::SetFrameSize(width, height);
    engine_->Init(width, height, this);
    if (running) {
        Start();
    }
}

void PicFileSource::SetPlaySequence(int32_t sequence) {
    engine_->SetPlaySeq(sequence != 0 ? 1 : 0);
    playSeq_ = sequence;
}

int32_t PicFileSource::PlaySequence() const { return playSeq_; }

void PicFileSource::SetCurrentPicture(const QString& path) {
    engine_->SetCurPlay(path.toStdWString().c_str());
}

void PicFileSource::SetKeepRatio(bool keep) { engine_->SetKeepRatio(keep); }

void PicFileSource::SetShowTime(int32_t milliseconds) { engine_->SetShowTime(milliseconds); }

void PicFileSource::AddPicture(const QString& path) {
    engine_->AddFile(path.toStdWString().c_str());
}

void PicFileSource::RemovePicture(const QString& path) {
    engine_->RemoveFile(path.toStdWString().c_str());
}

void PicFileSource::RemoveAllPictures() { engine_->RemoveAllFiles(); }
