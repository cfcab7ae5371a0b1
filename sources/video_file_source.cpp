#include "sources/video_file_source.h"

#include <algorithm>

#include "libs/capture/stream_capture.h"

int32_t volumePercentToLevel(int32_t percent) {
    if (percent <= 0) {
        return StreamCapture::kSilent;
    }
    return (std::min(percent, 100) * 2000) / 100 - 2000;
}

int32_t volumeLevelToPercent(int32_t level) { return (std::max(level + 2000, 0) * 100) / 2000; }

VideoFileSourcePrivate::VideoFileSourcePrivate(VideoFileSource* owner)
    : source(owner), player(std::make_unique<StreamCapture>()) {}

VideoFileSourcePrivate::~VideoFileSourcePrivate() = default;

void VideoFileSourcePrivate::OnSimplyCallBack(int msg, unsigned char* data, long size) {
    if (msg == MSG_FRAME && data != nullptr && size > 0) {
        source->PushFrame(data, static_cast<size_t>(size));
    } else if (msg == MSG_STREAM_END) {
        source->SetFrameValid(false);
    }
}

void VideoFileSource::SetFilterDescription(const QString& path) {
    StreamCapture::SetFilterDescXml(path.toStdString());
}

VideoFileSource::VideoFileSource() : private_(std::make_unique<VideoFileSourcePrivate>(this)) {
    typeId_ = SOURCE_TYPE_VIDEO_FILE;
    private_->player->Advise(Width(), Height(), private_.get());
    private_->player->SetPlayMode(0);
}

VideoFileSource::~VideoFileSource() {
    Stop();
    private_->player->Advise(Width(), Height(), nullptr);
}

int32_t VideoFileSource::Start() {
    int32_t result = private_->player->Start();
    if (result == 0) {
        private_->running = true;
    }
    return result;
}

void VideoFileSource::Stop() {
    private_->player->Stop();
    private_->running = false;
}

bool VideoFileSource::IsRunning() { return private_->running; }

void VideoFileSource::SetMaxFrameRate(int32_t fps) { private_->player->SetMaxFrameRate(fps); }

void VideoFileSource::SetPlayMode(int32_t mode) {
    private_->playMode = mode;
    private_->player->SetPlayMode(mode == 1 ? 1 : 0);
}

int32_t VideoFileSource::PlayMode() const { return private_->playMode; }

void VideoFileSource::AddFile(const QString& path) {
    private_->player->AddFile(path.toStdString());
}

void VideoFileSource::RemoveFile(const QString& path) {
    private_->player->RemoveFile(path.toStdString());
}

void VideoFileSource::RemoveAllFiles() { private_->player->RemoveAllFiles(); }

QString VideoFileSource::CurrentFile() const {
    return QString::fromStdString(private_->player->GetCurPlay());
}

void VideoFileSource::SetCurrentFile(const QString& path) {
    private_->player->SetCurPlay(path.toStdString());
}

bool VideoFileSource::TimeInfo(int64_t* position, int64_t* duration) {
    return private_->player->GetPlayTimeInfo(position, duration);
}

bool VideoFileSource::Seek(int32_t milliseconds) {
    return private_->player->SetPlayTime(milliseconds);
}

void VideoFileSource::Mute(bool mute) { private_->player->MuteAudio(mute); }

int32_t VideoFileSource::Volume() const {
    int level = 0;
    if (!private_->player->GetVolume(&level)) {
        return level;
    }
    return volumeLevelToPercent(level);
}

void VideoFileSource::SetVolume(int32_t percent) {
    private_->player->AdjustRenderVolume(volumePercentToLevel(percent));
}

StreamCapture& VideoFileSource::Player() { return *private_->player; }
