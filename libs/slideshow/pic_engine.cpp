#include "libs/slideshow/pic_engine.h"

#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QString>

#include <chrono>
#include <cstring>

#include "base/debug_log.h"

namespace {
std::string utf8(const wchar_t* path) {
    return path != nullptr ? QString::fromWCharArray(path).toStdString() : std::string();
}

// Reads a picture no larger than needed: one much larger than the frame (a
// phone's 48-megapixel photo, say) at a reduced size when its format can
// decode that way, which also keeps it under the reader's allocation limit;
// false when it cannot be read at all.
bool readPicture(const QString& path, int width, int height, QImage* picture) {
    QImageReader reader(path);
    reader.setAutoTransform(true);
    QSize size = reader.size();
    bool muchLarger = size.isValid() && size.width() > width * 2 && size.height() > height * 2;
    if (muchLarger && reader.supportsOption(QImageIOHandler::ScaledSize)) {
        reader.setScaledSize(size.scaled(width * 2, height * 2, Qt::KeepAspectRatio));
    } else if (size.isValid() &&
               static_cast<int64_t>(size.width()) * size.height() >= PicEngine::kHugePixels) {
        debugLog("PicEngine, %s is too large to show", qPrintable(path));
        return false;
    }
    *picture = reader.read();
    if (picture->isNull()) {
        debugLog("PicEngine, cannot show %s: %s", qPrintable(path),
                 qPrintable(reader.errorString()));
        return false;
    }
    return true;
}
}  // namespace

PicEngine::PicEngine() = default;

PicEngine::~PicEngine() { UnInit(); }

void PicEngine::Init(int width, int height, ISimplyCallBack* receiver) {
    std::lock_guard<std::mutex> guard(lock_);
    width_ = width;
    height_ = height;
    receiver_ = receiver;
}

void PicEngine::AddFile(const wchar_t* path) {
    std::lock_guard<std::mutex> guard(lock_);
    list_.add(utf8(path));
    wake_.notify_all();
}

void PicEngine::RemoveFile(const wchar_t* path) {
    std::lock_guard<std::mutex> guard(lock_);
    list_.remove(utf8(path));
}

void PicEngine::RemoveAllFiles() {
    std::lock_guard<std::mutex> guard(lock_);
    list_.clear();
}

void PicEngine::SetCurPlay(const wchar_t* path) {
    std::lock_guard<std::mutex> guard(lock_);
    if (list_.setCurrent(utf8(path))) {
        jumpNow_ = true;
        wake_.notify_all();
    }
}

void PicEngine::SetPlaySeq(int sequence) {
    std::lock_guard<std::mutex> guard(lock_);
    list_.setMode(sequence == 1 ? PlayList::kInOrder : PlayList::kRandom);
}

void PicEngine::SetKeepRatio(bool keep) {
    std::lock_guard<std::mutex> guard(lock_);
    keepRatio_ = keep;
}

void PicEngine::SetShowTime(int milliseconds) {
    std::lock_guard<std::mutex> guard(lock_);
    showTimeMs_ = milliseconds > 0 ? milliseconds : 3000;
}

int PicEngine::Start() {
    joinFinishedShows();
    std::lock_guard<std::mutex> guard(lock_);
    if (running_) {
        return 0;
    }
    if (receiver_ == nullptr || width_ <= 0 || height_ <= 0) {
        return -1;
    }
    running_ = true;
    jumpNow_ = !list_.current().empty();
    Show& show = shows_.emplace_back();
    show.width = width_;
    show.height = height_;
    show.frame.assign(static_cast<size_t>(width_) * height_ * 4, 0);
    show.thread = std::thread(&PicEngine::run, this, ++generation_, &show);
    return 0;
}

void PicEngine::Stop() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        running_ = false;
        ++generation_;
        wake_.notify_all();
    }
    joinFinishedShows();
}

void PicEngine::joinFinishedShows() {
    std::list<Show> finished;
    {
        std::lock_guard<std::mutex> guard(lock_);
        for (auto it = shows_.begin(); it != shows_.end();) {
            auto next = std::next(it);
            if (it->finished) {
                finished.splice(finished.end(), shows_, it);
            }
            it = next;
        }
    }
    for (Show& show : finished) {
        show.thread.join();  // it has left run(): no wait
    }
}

void PicEngine::UnInit() {
    Stop();
    for (Show& show : shows_) {
        show.thread.join();
    }
    shows_.clear();
    std::lock_guard<std::mutex> guard(lock_);
    list_.clear();
    receiver_ = nullptr;
}

void PicEngine::run(uint64_t generation, Show* show) {
    std::unique_lock<std::mutex> lock(lock_);
    auto current = [&] { return generation_ == generation; };
    while (current()) {
        if (list_.empty()) {
            wake_.wait(lock, [&] { return !current() || !list_.empty(); });
            continue;
        }
        Shown shown = showNext(lock, generation, show);
        if (!current()) {
            break;
        }
        // A picture that could not be shown is passed over at once, unless
        // nothing in the list can be shown: then wait as for a picture. An
        // animation has played for the show time already.
        auto wait = std::chrono::milliseconds(0);
        if (shown == Shown::Still || (shown == Shown::Not && list_.size() == 1)) {
            wait = std::chrono::milliseconds(showTimeMs_);
        }
        wake_.wait_for(lock, wait, [&] { return !current() || jumpNow_; });
    }
    show->finished = true;
}

PicEngine::Shown PicEngine::showNext(std::unique_lock<std::mutex>& lock, uint64_t generation,
                                     Show* show) {
    std::string path = jumpNow_ ? list_.current() : list_.advance();
    jumpNow_ = false;
    bool keepRatio = keepRatio_;
    if (isAnimation(path)) {
        return playAnimation(lock, generation, show, path, keepRatio) ? Shown::Animated
                                                                      : Shown::Not;
    }
    // Decoding takes a while: the list may change meanwhile, and the show
    // may be stopped, in which case the picture is not handed over.
    lock.unlock();
    bool rendered = render(path, keepRatio, show);
    lock.lock();
    if (rendered && generation_ == generation) {
        receiver_->OnSimplyCallBack(MSG_FRAME, show->frame.data(),
                                    static_cast<long>(show->frame.size()));
    }
    return rendered ? Shown::Still : Shown::Not;
}

bool PicEngine::isAnimation(const std::string& path) {
    // Only a GIF is opened to count its frames: other pictures are read once.
    QString name = QString::fromStdString(path);
    if (!name.endsWith(".gif", Qt::CaseInsensitive)) {
        return false;
    }
    QImageReader reader(name);
    return reader.supportsAnimation() && reader.imageCount() > 1;
}

bool PicEngine::playAnimation(std::unique_lock<std::mutex>& lock, uint64_t generation, Show* show,
                              const std::string& path, bool keepRatio) {
    auto ends = std::chrono::steady_clock::now() + std::chrono::milliseconds(showTimeMs_);
    QString name = QString::fromStdString(path);
    lock.unlock();
    QImageReader reader(name);
    bool restarted = false;  // at most one restart in a row finds nothing
    int shownFrames = 0;
    for (;;) {
        QImage picture = reader.read();
        if (picture.isNull()) {
            if (shownFrames == 0 || restarted) {
                lock.lock();
                return shownFrames > 0;
            }
            reader.setFileName(name);  // from its first frame again
            restarted = true;
            continue;
        }
        restarted = false;
        compose(picture, keepRatio, show);
        // Browsers show a frame without a delay for a tenth of a second.
        int delayMs = reader.nextImageDelay() > 10 ? reader.nextImageDelay() : 100;
        lock.lock();
        if (generation_ != generation) {
            return true;
        }
        receiver_->OnSimplyCallBack(MSG_FRAME, show->frame.data(),
                                    static_cast<long>(show->frame.size()));
        ++shownFrames;
        auto next =
            std::min(ends, std::chrono::steady_clock::now() + std::chrono::milliseconds(delayMs));
        bool interrupted =
            wake_.wait_until(lock, next, [&] { return generation_ != generation || jumpNow_; });
        if (interrupted || std::chrono::steady_clock::now() >= ends) {
            return true;
        }
        lock.unlock();
    }
}

bool PicEngine::render(const std::string& path, bool keepRatio, Show* show) {
    QImage picture;
    if (!readPicture(QString::fromStdString(path), show->width, show->height, &picture)) {
        return false;
    }
    compose(picture, keepRatio, show);
    return true;
}

void PicEngine::compose(const QImage& picture, bool keepRatio, Show* show) {
    const int width = show->width;
    const int height = show->height;
    QImage canvas(width, height, QImage::Format_RGB32);
    canvas.fill(Qt::black);
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    QSize size = keepRatio ? picture.size().scaled(width, height, Qt::KeepAspectRatio)
                           : QSize(width, height);
    QRect target((width - size.width()) / 2, (height - size.height()) / 2, size.width(),
                 size.height());
    painter.drawImage(target, picture);
    painter.end();
    const size_t rowBytes = static_cast<size_t>(width) * 4;
    for (int y = 0; y < height; ++y) {
        std::memcpy(show->frame.data() + static_cast<size_t>(height - 1 - y) * rowBytes,
                    canvas.constScanLine(y), rowBytes);
    }
}
