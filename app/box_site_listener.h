#pragma once

#include <QObject>
#include <QString>

// Carries the source-change news to every panel that shows source state.
// One per process; it has no state of its own.
class BoxSiteListener : public QObject {
    Q_OBJECT

public:
    static BoxSiteListener* instance();

signals:
    // The active source changed (a camera, a file, a picture list, the volume).
    void sig_videoSrcChange();
    // A running camera failed (unplugged, busy); the camera lists may have
    // changed. Emitted on the user-interface thread.
    void sig_cameraFailed();
    // A recording was added to the video list from its preview.
    void sig_videoFileAdd(QString path);
    // A recording is about to be deleted from disk.
    void sig_videoFileRemove(QString path);
    // The pictures' size and rate changed (the index into outputModes()).
    void sig_outputModeChanged(int index);
    // A running recording must end now (and be kept), before the pictures
    // change size.
    void sig_stopRecording();

private:
    BoxSiteListener() = default;
};
