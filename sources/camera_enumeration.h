#pragma once

#include <QString>

#include <cstdint>
#include <vector>

#include "libs/capture/capture_devices.h"

// One picture format of a camera as the camera panel shows it.
struct CameraFormat {
    QString colourKind;  // "RGB" for packed RGB pixel formats, "YUV" for all others
    int32_t width;       // 0 when the device offers a range of sizes
    int32_t height;
};

// One camera, numbered as the capture library numbers it.
struct CameraRecord {
    int32_t index;
    QString name;  // "unknown cam" when the device has none
    std::vector<CameraFormat> formats;
};

// Every camera, test cameras included, in the capture library's order.
std::vector<CameraRecord> enumerateCameras();
// The records for devices already listed; duplicates are kept.
std::vector<CameraRecord> cameraRecordsFrom(const std::vector<CaptureDevice>& devices);
// "RGB" or "YUV" for a V4L2 pixel format.
QString colourKindOf(uint32_t fourcc);
