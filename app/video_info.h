#pragma once

#include <QImage>
#include <QMetaType>
#include <QString>

#include <optional>

// A video file's thumbnail and duration, as the video information cache
// hands them out.
struct VideoInfoQt {
    QString path;      // exactly as requested
    QImage image;      // invalid until known
    int playTime = 0;  // milliseconds
};
Q_DECLARE_METATYPE(VideoInfoQt)

// The disk cache of video information: under the user's cache folder
// ("LumoraCache/VideoInfoCache"), one MD5-named .jpg (the thumbnail) and .bin
// (its duration) per path. An entry older than its video is no entry.
namespace VideoInfoCache {
QString folder();
// The 32 lower-case hex digits of the MD5 of the path's UTF-8 bytes.
QString nameOf(const QString& path);
std::optional<VideoInfoQt> read(const QString& path);
// Write failures are ignored: the next run detects the file again.
void write(const VideoInfoQt& info);
}  // namespace VideoInfoCache
