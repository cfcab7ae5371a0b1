#include "sources/camera_enumeration.h"

#include <linux/videodev2.h>

QString colourKindOf(uint32_t fourcc) {
    switch (fourcc) {
        case V4L2_PIX_FMT_RGB32:
        case V4L2_PIX_FMT_BGR32:
        case V4L2_PIX_FMT_XRGB32:
        case V4L2_PIX_FMT_XBGR32:
        case V4L2_PIX_FMT_ARGB32:
        case V4L2_PIX_FMT_ABGR32:
        case V4L2_PIX_FMT_RGB24:
        case V4L2_PIX_FMT_BGR24:
        case V4L2_PIX_FMT_RGB565:
        case V4L2_PIX_FMT_RGB555:
            return QStringLiteral("RGB");
        default:
            return QStringLiteral("YUV");
    }
}

std::vector<CameraRecord> cameraRecordsFrom(const std::vector<CaptureDevice>& devices) {
    std::vector<CameraRecord> records;
    int32_t index = 0;
    for (const CaptureDevice& device : devices) {
        CameraRecord record{index++, QString::fromStdString(device.name), {}};
        if (record.name.isEmpty()) {
            record.name = QStringLiteral("unknown cam");
        }
        for (const CaptureFormat& format : device.formats) {
            record.formats.push_back({colourKindOf(format.fourcc), format.width, format.height});
        }
        records.push_back(std::move(record));
    }
    return records;
}

std::vector<CameraRecord> enumerateCameras() { return cameraRecordsFrom(listCaptureDevices()); }
