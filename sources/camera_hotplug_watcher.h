#pragma once

#include <QObject>
#include <QString>

struct udev;
struct udev_monitor;
class QSocketNotifier;

// Tells the user-interface thread when a camera device appears or goes away:
// a libudev monitor on the video4linux subsystem, read when its socket has
// data. Events come after udev has set the device node up, so a camera that
// arrives can be opened at once.
class CameraHotplugWatcher : public QObject {
    Q_OBJECT

public:
    explicit CameraHotplugWatcher(QObject* parent = nullptr);
    ~CameraHotplugWatcher() override;

    // False when the monitor could not be set up; no signal ever comes then.
    bool isWatching() const { return monitor_ != nullptr; }

signals:
    void sig_cameraArrived(QString devicePath);
    void sig_cameraRemoved(QString devicePath);

private slots:
    void onMonitorReadable();

private:
    struct udev* udev_ = nullptr;
    struct udev_monitor* monitor_ = nullptr;
    QSocketNotifier* notifier_ = nullptr;
};
