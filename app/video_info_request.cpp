#include "app/video_info_request.h"

#include <QFileInfo>

#include "base/video_frame.h"

namespace {
constexpr int kThumbnailFrame = 30;
constexpr int kBrightEnough = 50;
constexpr int kAfterCacheHitMs = 200;
constexpr int kAfterDetectionMs = 1000;
constexpr int kPatienceMs = 10000;

QString cannotStart() { return VideoInfoRequest::tr("无法播放：播放器打不开这个文件"); }
QString noPicture() { return VideoInfoRequest::tr("无法播放：文件已损坏或不是视频"); }
QString noPictureInTime() { return VideoInfoRequest::tr("无法播放：10 秒内没有出现画面"); }

bool hasBrightPixel(const uint8_t* frame, size_t size) {
    for (size_t i = 0; i + 3 < size; i += 4) {
        if (frame[i] > kBrightEnough && frame[i + 1] > kBrightEnough &&
            frame[i + 2] > kBrightEnough) {
            return true;
        }
    }
    return false;
}

// The frame as a top-row-first 32-bit picture (the source keeps it bottom row first).
void copyPicture(void* target, const uint8_t* frame, uint32_t, int32_t width, int32_t height) {
    auto* image = static_cast<QImage*>(target);
    *image = QImage(width, height, QImage::Format_RGB32);
    VideoFrame::CopyFlipped(frame, image->bits(), static_cast<uint32_t>(width) * 4, height);
}
}  // namespace

void VideoSourceDetect::PushFrame(const uint8_t* data, size_t size) {
    VideoFileSource::PushFrame(data, size);
    int counted = ++frames_;
    if (done_) {
        return;
    }
    if (counted >= kThumbnailFrame || hasBrightPixel(data, size)) {
        done_ = true;
        emit sig_receivedData();
    }
}

void VideoSourceDetect::SetFrameValid(bool valid) {
    VideoFileSource::SetFrameValid(valid);
    // A file that ends before its thumbnail frame plays again and goes on
    // counting; one that ended without a single frame cannot be played.
    if (!valid && frames_ == 0 && !done_.exchange(true)) {
        emit sig_noPicture();
    }
}

VideoInfoRequest* VideoInfoRequest::instance() {
    static VideoInfoRequest request;
    return &request;
}

VideoInfoRequest::VideoInfoRequest() {
    qRegisterMetaType<VideoInfoQt>();
    patience_.setSingleShot(true);
    connect(&patience_, &QTimer::timeout, this, [this] { giveUp(noPictureInTime()); });
}

VideoInfoRequest::~VideoInfoRequest() = default;

void VideoInfoRequest::request(const QString& path) {
    auto known = results_.find(path);
    if (known != results_.end()) {
        emit sig_videoInfoGet(known.value());
        return;
    }
    if (answerKnownFailure(path)) {
        return;
    }
    pending_.enqueue(path);
    doNextFile();
}

void VideoInfoRequest::doNextFile() {
    if (pending_.isEmpty() || detector_) {
        return;
    }
    QString path = pending_.dequeue();
    if (auto cached = VideoInfoCache::read(path)) {
        results_[path] = *cached;
        emit sig_videoInfoGet(*cached);
        QTimer::singleShot(kAfterCacheHitMs, this, &VideoInfoRequest::doNextFile);
        return;
    }
    detector_ = std::make_unique<VideoSourceDetect>();
    connect(detector_.get(), &VideoSourceDetect::sig_receivedData, this,
            &VideoInfoRequest::onDetect);
    // Queued from the player's thread: it may arrive after this detector is
    // gone, and must not end the next one.
    connect(detector_.get(), &VideoSourceDetect::sig_noPicture, this,
            [this, detection = ++detections_] {
                if (detector_ && detection == detections_) {
                    giveUp(noPicture());
                }
            });
    current_ = VideoInfoQt{path, QImage(), 0};
    detector_->AddFile(path);
    if (detector_->Start() != 0) {
        giveUp(cannotStart());
        return;
    }
    int64_t position = 0, duration = 0;
    detector_->TimeInfo(&position, &duration);
    current_.playTime = static_cast<int>(duration);
    detector_->Mute(true);
    patience_.start(kPatienceMs);
}

void VideoInfoRequest::onDetect() {
    patience_.stop();
    if (detector_) {
        if (current_.playTime <= 0) {  // unknown when the file had only just started
            int64_t position = 0, duration = 0;
            detector_->TimeInfo(&position, &duration);
            current_.playTime = static_cast<int>(duration);
        }
        detector_->Stop();
        detector_->ReadFrame(&copyPicture, &current_.image);
        results_[current_.path] = current_;
        detector_.reset();
        VideoInfoCache::write(current_);
        emit sig_videoInfoGet(results_[current_.path]);
    }
    QTimer::singleShot(kAfterDetectionMs, this, &VideoInfoRequest::doNextFile);
}

bool VideoInfoRequest::answerKnownFailure(const QString& path) {
    auto failure = failures_.find(path);
    if (failure == failures_.end()) {
        return false;
    }
    if (failure->fileTime != QFileInfo(path).lastModified()) {
        failures_.erase(failure);  // the file changed: it may play now
        return false;
    }
    emit sig_videoInfoFailed(path, failure->reason);
    return true;
}

void VideoInfoRequest::giveUp(const QString& reason) {
    patience_.stop();
    if (detector_) {
        detector_->Stop();
        detector_.reset();
        failures_[current_.path] = {reason, QFileInfo(current_.path).lastModified()};
        emit sig_videoInfoFailed(current_.path, reason);
    }
    QTimer::singleShot(0, this, &VideoInfoRequest::doNextFile);
}
