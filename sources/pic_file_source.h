#pragma once

#include <QString>

#include <atomic>
#include <memory>

#include "base/simply_callback.h"
#include "engine/video_source.h"

class PicEngine;
class PicFileSource;

// The receiver the slideshow calls on its thread: every call is a frame.
class PicFileSourcePrivate : public ISimplyCallBack {
public:
    explicit PicFileSourcePrivate(PicFileSource* source);
    ~PicFileSourcePrivate();
    void OnSimplyCallBack(int msg, unsigned char* data, long size) override;

    PicFileSource* source;
    std::unique_ptr<PicEngine> engine;
    std::atomic<bool> running{false};
    int32_t playSeq = 0;
};

// A slideshow of pictures as a source. Its type is that of a still picture,
// so camera-only effects leave it alone.
//
// Threads: every call comes from the user-interface thread; frames arrive on
// the slideshow's thread.
class PicFileSource : public VideoSource {
public:
    PicFileSource();
    ~PicFileSource() override;

    int32_t Start() override;  // -1 when the slideshow cannot run
    void Stop() override;
    bool IsRunning() override;

    // Non-zero: list order, repeating; 0: random. Kept as given.
    void SetPlaySequence(int32_t sequence);
    int32_t PlaySequence() const;
    void SetCurrentPicture(const QString& path);
    void SetKeepRatio(bool keep);
    void SetShowTime(int32_t milliseconds);
    void AddPicture(const QString& path);
    void RemovePicture(const QString& path);
    void RemoveAllPictures();

private:
    std::unique_ptr<PicFileSourcePrivate> private_;
};
