#include "sources/pic_file_source.h"

#include "libs/slideshow/pic_engine.h"

PicFileSourcePrivate::PicFileSourcePrivate(PicFileSource* owner)
    : source(owner), engine(std::make_unique<PicEngine>()) {}

PicFileSourcePrivate::~PicFileSourcePrivate() = default;

void PicFileSourcePrivate::OnSimplyCallBack(int, unsigned char* data, long size) {
    if (data != nullptr && size > 0) {
        source->PushFrame(data, static_cast<size_t>(size));
    }
}

PicFileSource::PicFileSource() : private_(std::make_unique<PicFileSourcePrivate>(this)) {
    private_->engine->Init(Width(), Height(), private_.get());
}

PicFileSource::~PicFileSource() { private_->engine->UnInit(); }

int32_t PicFileSource::Start() {
    if (private_->engine->Start() != 0) {
        return -1;
    }
    private_->running = true;
    return 0;
}

void PicFileSource::Stop() {
    private_->running = false;
    private_->engine->Stop();
}

bool PicFileSource::IsRunning() { return private_->running; }

void PicFileSource::SetPlaySequence(int32_t sequence) {
    private_->engine->SetPlaySeq(sequence != 0 ? 1 : 0);
    private_->playSeq = sequence;
}

int32_t PicFileSource::PlaySequence() const { return private_->playSeq; }

void PicFileSource::SetCurrentPicture(const QString& path) {
    private_->engine->SetCurPlay(path.toStdWString().c_str());
}

void PicFileSource::SetKeepRatio(bool keep) { private_->engine->SetKeepRatio(keep); }

void PicFileSource::SetShowTime(int32_t milliseconds) {
    private_->engine->SetShowTime(milliseconds);
}

void PicFileSource::AddPicture(const QString& path) {
    private_->engine->AddFile(path.toStdWString().c_str());
}

void PicFileSource::RemovePicture(const QString& path) {
    private_->engine->RemoveFile(path.toStdWString().c_str());
}

void PicFileSource::RemoveAllPictures() { private_->engine->RemoveAllFiles(); }
