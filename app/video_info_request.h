#pragma once

#include <QDateTime>
#include <QMap>
#include <QObject>
#include <QQueue>
#include <QTimer>

#include <atomic>
#include <memory>

#include "app/video_info.h"
#include "sources/video_file_source.h"

// Plays a video file just long enough to find its thumbnail: the first frame
// that is not almost black (a pixel with red, green and blue all above 50), or
// the 30th frame. Frames arrive on the player's thread; the news travels to
// the user-interface thread by a queued signal.
class VideoSourceDetect : public QObject, public VideoFileSource {
    Q_OBJECT

public:
    VideoSourceDetect() = default;
    void PushFrame(const uint8_t* data, size_t size) override;
    void SetFrameValid(bool valid) override;

signals:
    // A thumbnail frame is in.
    void sig_receivedData();
    // The file ended without giving a single frame: it cannot be played.
    void sig_noPicture();

private:
    std::atomic<int> frames_{0};
    std::atomic<bool> done_{false};
};

// Finds the thumbnail and duration of video files, one file at a time, from
// memory, from the disk cache, or by playing the file; every answer goes out
// through sig_videoInfoGet. A file that cannot be played gets no answer there
// but sig_videoInfoFailed, with why in words for the user, and does not hold
// up the others: at most 10 s are spent waiting for a picture. A failure is
// remembered until the file changes.
//
// Threads: the user-interface thread, with its event loop running.
class VideoInfoRequest : public QObject {
    Q_OBJECT

public:
    static VideoInfoRequest* instance();
    ~VideoInfoRequest() override;

    void request(const QString& path);

signals:
    void sig_videoInfoGet(VideoInfoQt info);
    void sig_videoInfoFailed(QString path, QString reason);

public slots:
    void onDetect();
    void doNextFile();

private:
    struct Failure {
        QString reason;
        QDateTime fileTime;  // the file's modification time when it failed
    };

    VideoInfoRequest();
    bool answerKnownFailure(const QString& path);
    void giveUp(const QString& reason);

    QMap<QString, VideoInfoQt> results_;
    QMap<QString, Failure> failures_;
    QQueue<QString> pending_;
    VideoInfoQt current_;
    std::unique_ptr<VideoSourceDetect> detector_;
    int detections_ = 0;  // counts detectors, to tell a late signal of an old one
    QTimer patience_;     // ends a detection that finds no picture in time
};
