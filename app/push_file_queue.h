#pragma once

#include <QObject>
#include <QPixmap>
#include <QStringList>

// Feeds a list of paths to handleFile one at a time, 20 ms apart, so that a
// long list never blocks the user interface. Paths pushed while it is busy
// join the same run. The user-interface thread only, with its event loop.
class PushFileQueue {
public:
    PushFileQueue();
    virtual ~PushFileQueue();

    void push(const QStringList& paths);
    // Paths still waiting to be handled.
    const QStringList& waiting() const { return paths_; }
    // Forgets a waiting path, or all of them: they are not handled.
    void dropWaiting(const QString& path);
    void dropAllWaiting();

protected:
    virtual void handleFile(const QString& path) = 0;

private:
    void handleNext();

    QStringList paths_;
    bool busy_ = false;
    // The pauses' timers are bound to it, so none fires into a destroyed queue.
    QObject timerContext_;
};

// A picture file's thumbnail at width x height (scaled bilinearly), through
// the video information cache when useCache is set (a cached one smaller
// than asked, made for a screen of a lower pixel ratio, is made again); an
// empty pixmap when the picture cannot be read, and then, when `problem` is
// given, why in words for the user.
QPixmap loadThumbnail(const QString& path, bool useCache, int width, int height,
                      QString* problem = nullptr);
