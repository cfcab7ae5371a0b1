#pragma once

#include <QString>

#include <atomic>

#include "engine/video_source.h"

// A still picture decoded once at construction: the placeholder the graph
// shows whenever the active source has nothing to show. By default it is the
// program's own picture (resource ":/JPG/111"). A picture of another size is
// scaled to 640 x 480 bilinearly; it is stored bottom row first.
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

private:
    void decode(const QString& path);

    std::atomic<bool> running_{false};
};
