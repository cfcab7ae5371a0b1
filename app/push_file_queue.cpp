#include "app/push_file_queue.h"

#include <QCoreApplication>
#include <QImageReader>
#include <QTimer>

#include "app/video_info.h"

namespace {
constexpr int kPauseMs = 20;

QString whyUnreadable(QImageReader::ImageReaderError error) {
    switch (error) {
        case QImageReader::FileNotFoundError:
        case QImageReader::DeviceError:
            return QCoreApplication::translate("PushFileQueue", "无法读取：打不开这个文件");
        case QImageReader::UnsupportedFormatError:
            return QCoreApplication::translate("PushFileQueue", "无法读取：不是支持的图片格式");
        case QImageReader::InvalidDataError:
            return QCoreApplication::translate("PushFileQueue", "无法读取：图片已损坏");
        default:
            return QCoreApplication::translate("PushFileQueue", "无法读取：图片无法解码");
    }
}
}  // namespace

void PushFileQueue::handleNext() {
    if (paths_.isEmpty()) {
        busy_ = false;
        return;
    }
    QString path = paths_.takeFirst();
    handleFile(path);
    QTimer::singleShot(kPauseMs, &timerContext_, [this] { handleNext(); });
}

PushFileQueue::PushFileQueue() = default;

PushFileQueue::~PushFileQueue() = default;

void PushFileQueue::dropWaiting(const QString& path) { paths_.removeAll(path); }

void PushFileQueue::dropAllWaiting() { paths_.clear(); }

void PushFileQueue::push(const QStringList& paths) {
    paths_ += paths;
    if (!busy_) {
        busy_ = true;
        handleNext();
    }
}

QPixmap loadThumbnail(const QString& path, bool useCache, int width, int height, QString* problem) {
    if (useCache) {
        auto cached = VideoInfoCache::read(path);
        if (cached && !cached->image.isNull() && cached->image.width() >= width &&
            cached->image.height() >= height) {
            return QPixmap::fromImage(cached->image);
        }
    }
    QImageReader reader(path);
    reader.setAutoTransform(true);
    QImage picture = reader.read();
    if (picture.isNull()) {
        if (problem != nullptr) {
            *problem = whyUnreadable(reader.error());
        }
        return QPixmap();
    }
    QImage thumbnail = picture.convertToFormat(QImage::Format_ARGB32)
                           .scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (useCache) {
        VideoInfoCache::write(VideoInfoQt{path, thumbnail, 0});
    }
    return QPixmap::fromImage(thumbnail);
}
