#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The kernel's own test camera, vivid, as the kernel tests use it: one video
// capture node whose one input is a webcam (discrete sizes and frame
// intervals, like a USB camera). Every call needs root in a kernel of the
// test's own (tools/kernel-vm.sh).

// Loads the module and returns the capture node ("/dev/video0"); empty when
// the module did not load or no node came.
std::string loadVividWebcam();
// Detaches the driver from its device while it may be streaming, as pulling
// a USB camera out does; the node goes away. False when the kernel refused.
bool unbindVivid();
// Attaches it again, as when the camera is plugged in, and returns its node:
// another number than before while anyone still holds the old node open.
// Empty when the kernel refused or no node came.
std::string bindVivid();

// One size of one pixel format, as the driver enumerates it, with the
// highest frame rate it offers there (12.5 for an interval of 2/25 s).
struct DriverSize {
    uint32_t fourcc;
    uint32_t width;
    uint32_t height;
    double highestFps;
};
// Every discrete size of every format, from VIDIOC_ENUM_FMT,
// VIDIOC_ENUM_FRAMESIZES and VIDIOC_ENUM_FRAMEINTERVALS.
std::vector<DriverSize> driverSizes(const std::string& node);
// The control's current value from VIDIOC_G_CTRL; false when the driver
// would not say.
bool readDriverControl(const std::string& node, uint32_t id, int32_t* value);

// udevd as a desktop runs it, so that device events reach libudev monitors.
// Stopped again when the object goes.
class UdevDaemon {
public:
    UdevDaemon() = default;
    ~UdevDaemon();
    UdevDaemon(const UdevDaemon&) = delete;
    UdevDaemon& operator=(const UdevDaemon&) = delete;

    // True once the daemon answers on its control socket.
    bool start();

private:
    bool started_ = false;
};
