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

void VideoFileSource::SetFilterDescription(const QString& path) {
    StreamCapture::SetFilterDescXml(path.toStdString());
}

VideoFileSource::VideoFileSource() : player_(std::make_unique<StreamCapture>()) {
    typeId_ = SOURCE_TYPE_VIDEO_FILE;
    player_->Advise(Width(), Height(), this);
    player_->SetPlayMode(0);
}

VideoFileSource::~VideoFileSource() {
    Stop();
    player_->Advise(Width(), Height(), nullptr);
}

int32_t VideoFileSource::StartDelivery(bool) { return player_->Start(); }

void VideoFileSource::StopDelivery() { player_->Stop(); }

void VideoFileSource::SetFrameSize(int32_t width, int32_t height) {
    if (width == Width() && height == Height()) {
        return;
    }
    bool running = IsRunning();
    int64_t position = 0;
    bool known = running && player_->GetPlayPosition(&position);
    Stop();
    VideoSource::SetFrameSize(width, height);
    player_->Advise(width, height, this);
    if (!running) {
        return;
    }
    // The new player takes the seek once it has opened the file; a seek
    // made right after starting it would be refused.
    if (known) {
        player_->ResumeAt(position);
    }
    Start();
}

void VideoFileSource::SetFrameRate(int32_t fps) { player_->SetMaxFrameRate(fps); }

void VideoFileSource::SetPlayMode(int32_t mode) {
    playMode_ = mode;
    player_->SetPlayMode(mode == 1 ? 1 : 0);
}

int32_t VideoFileSource::PlayMode() const { return playMode_; }

void VideoFileSource::AddFile(const QString& path) { player_->AddFile(path.toStdString()); }

void VideoFileSource::RemoveFile(const QString& path) { player_->RemoveFile(path.toStdString()); }

void VideoFileSource::RemoveAllFiles() { player_->RemoveAllFiles(); }

QString VideoFileSource::CurrentFile() const {
    return QString::fromStdString(player_->GetCurPlay());
}

void VideoFileSource::SetCurrentFile(const QString& path) {
    player_->SetCurPlay(path.toStdString());
}

bool VideoFileSource::TimeInfo(int64_t* position, int64_t* duration) {
    return player_->GetPlayTimeInfo(position, duration);
}

bool VideoFileSource::Seek(int32_t milliseconds) { return player_->SetPlayTime(milliseconds); }

void VideoFileSource::Mute(bool mute) { player_->MuteAudio(mute); }

int32_t VideoFileSource::Volume() const {
    int level = 0;
    if (!player_->GetVolume(&level)) {
        return level;
    }
    return volumeLevelToPercent(level);
}

void VideoFileSource::SetVolume(int32_t percent) {
    player_->AdjustRenderVolume(volumePercentToLevel(percent));
}

StreamCapture& VideoFileSource::Player() { return *player_; }
