#include "app/push_file_queue.h"

#include <QImageReader>
#include <QTimer>

#include "app/video_info.h"

namespace {
constexpr int kPauseMs = 20;
}

void PushFileQueuePrivate::onNext() {
    if (paths.isEmpty()) {
        busy = false;
        return;
    }
    QString path = paths.takeFirst();
    queue_->handleFile(path);
    QTimer::singleShot(kPauseMs, this, &PushFileQueuePrivate::onNext);
}

PushFileQueue::PushFileQueue() : private_(this) {}

PushFileQueue::~PushFileQueue() = default;

void PushFileQueue::push(const QStringList& paths) {
    private_.paths += paths;
    if (!private_.busy) {
        private_.busy = true;
        private_.onNext();
    }
}

QPixmap loadThumbnail(const QString& path, bool useCache, int width, int height) {
    if (useCache) {
        if (auto cached = VideoInfoCache::read(path)) {
            return QPixmap::fromImage(cached->image);
        }
    }
    QImageReader reader(path);
    reader.setAutoTransform(true);
    QImage picture = reader.read();
    if (picture.isNull()) {
        return QPixmap();
    }
    QImage thumbnail = picture.convertToFormat(QImage::Format_ARGB32)
                           .scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (useCache) {
        VideoInfoCache::write(VideoInfoQt{path, thumbnail, 0});
    }
    return QPixmap::fromImage(thumbnail);
}
