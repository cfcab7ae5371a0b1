#pragma once

#include <QString>

#include <atomic>

#include "engine/video_source.h"

// A still picture decoded once at construction: the placeholder the graph
// shows whenever the active source has nothing to show. By default it is the
// program's own picture (resource ":/JPG/111"). A picture of another size is
// scaled bilinearly to fit the frame's size (640 x 480 unless set) keeping its
// shape, centred, with its outermost lines drawn on into the strips left over;
// it is stored bottom row first.
//
// When the picture cannot be decoded (missing, corrupt, too large) the source
// simply never has a frame.
class ImageVideoSource : public VideoSource {
public:
    explicit ImageVideoSource(const QString& path = QStringLiteral(":/JPG/111"));

    // Running is only reported: the graph shows the frame regardless.
    int32_t Start() override;
    void Stop() override;
    bool IsRunning() override { return running_; }

    // Pictures of another size: the picture is scaled again from its file.
    void SetFrameSize(int32_t width, int32_t height) override;

private:
    void decode(const QString& path);

    QString path_;
    std::atomic<bool> running_{false};
};
