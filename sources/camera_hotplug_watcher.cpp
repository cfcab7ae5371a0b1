#include "sources/camera_hotplug_watcher.h"

#include <libudev.h>

#include <QSocketNotifier>

#include "base/debug_log.h"

CameraHotplugWatcher::CameraHotplugWatcher(QObject* parent) : QObject(parent) {
    udev_ = udev_new();
    monitor_ = udev_ != nullptr ? udev_monitor_new_from_netlink(udev_, "udev") : nullptr;
    if (monitor_ == nullptr ||
        udev_monitor_filter_add_match_subsystem_devtype(monitor_, "video4linux", nullptr) < 0 ||
        udev_monitor_enable_receiving(monitor_) < 0) {
        debugLog("camera watcher, no device notifications: the camera list will not refresh");
        if (monitor_ != nullptr) {
            udev_monitor_unref(monitor_);
            monitor_ = nullptr;
        }
        return;
    }
    notifier_ = new QSocketNotifier(udev_monitor_get_fd(monitor_), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &CameraHotplugWatcher::onMonitorReadable);
}

CameraHotplugWatcher::~CameraHotplugWatcher() {
    delete notifier_;
    if (monitor_ != nullptr) {
        udev_monitor_unref(monitor_);
    }
    if (udev_ != nullptr) {
        udev_unref(udev_);
    }
}

void CameraHotplugWatcher::onMonitorReadable() {
    // One notification may stand for several events: take all that are there.
    while (struct udev_device* device = udev_monitor_receive_device(monitor_)) {
        const char* action = udev_device_get_action(device);
        const char* node = udev_device_get_devnode(device);
        QString path = QString::fromUtf8(node != nullptr ? node : udev_device_get_syspath(device));
        if (action != nullptr && qstrcmp(action, "add") == 0) {
            emit sig_cameraArrived(path);
        } else if (action != nullptr && qstrcmp(action, "remove") == 0) {
            emit sig_cameraRemoved(path);
        }
        udev_device_unref(device);
    }
}
