#include "libs/recorder/flv_file_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <initializer_list>
#include <mutex>
#include <utility>

#include "base/debug_log.h"
#include "libs/recorder/codec_data.h"
#include "libs/recorder/flv_tags.h"

namespace {
constexpr auto kMostHeld = std::chrono::milliseconds(250);
constexpr size_t kWriteAt = 64u << 10;

bool writeAll(int fd, const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        done += static_cast<size_t>(written);
    }
    return true;
}

uint32_t milliseconds(GstClockTime time) {
    return GST_CLOCK_TIME_IS_VALID(time) ? flv::milliseconds(time) : 0;
}

bool sameCaps(GstCaps* written, GstCaps* caps) {
    return written != nullptr && (written == caps || gst_caps_is_equal(written, caps));
}
}  // namespace

struct FlvFileWriter::Shared {
    std::mutex lock;
    std::condition_variable wake;      // the writing thread: something to write, or the end
    std::condition_variable finished;  // the file is closed
    int fd = -1;
    std::vector<uint8_t> gathering;  // tags not yet taken to the disk
    std::vector<uint8_t> writing;    // tags on their way there (the thread's, unlocked)
    uint64_t gatheringPictureBytes = 0;
    uint64_t gatheringSoundBytes = 0;
    uint64_t writingPictureBytes = 0;
    uint64_t writingSoundBytes = 0;
    uint64_t picturesLeftOut = 0;
    bool waitingForKey = false;      // a picture was left out: its followers cannot decode
    GstCaps* pictureCaps = nullptr;  // the caps whose headers were written last
    GstCaps* soundCaps = nullptr;
    bool ending = false;
    bool closed = false;
    bool failed = false;

    ~Shared() {
        for (GstCaps* caps : {pictureCaps, soundCaps}) {
            if (caps != nullptr) {
                gst_caps_unref(caps);
            }
        }
    }
};

FlvFileWriter::FlvFileWriter(size_t mostBytes)
    : mostBytes_(mostBytes), shared_(std::make_shared<Shared>()) {}

FlvFileWriter::~FlvFileWriter() { finish(std::chrono::milliseconds(0)); }

bool FlvFileWriter::open(const std::string& path, bool sound) {
    if (thread_.joinable()) {
        return false;
    }
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    std::vector<uint8_t> header;
    flv::appendHeader(header, sound);
    if (fd < 0 || !writeAll(fd, header)) {
        debugLog("FlvFileWriter, cannot write %s: %s", path.c_str(), std::strerror(errno));
        if (fd >= 0) {
            ::close(fd);
        }
        return false;
    }
    sound_ = sound;
    shared_->fd = fd;
    // Reserved once: appending a tag never reallocates, and a swap hands the
    // gathered tags to the writing thread.
    shared_->gathering.reserve(mostBytes_);
    shared_->writing.reserve(mostBytes_);
    thread_ = std::thread(&FlvFileWriter::writeOut, shared_);
    return true;
}

void FlvFileWriter::describe(int width, int height, int frameRate) {
    std::lock_guard<std::mutex> guard(shared_->lock);
    const size_t before = shared_->gathering.size();
    flv::appendMetadata(shared_->gathering, width, height, frameRate, sound_);
    shared_->gatheringPictureBytes += shared_->gathering.size() - before;
}

void FlvFileWriter::push(bool video, GstBuffer* buffer, GstCaps* caps) {
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        gst_buffer_unref(buffer);
        return;
    }
    const uint32_t ms = milliseconds(GST_BUFFER_PTS(buffer));
    {
        std::lock_guard<std::mutex> guard(shared_->lock);
        Shared& s = *shared_;
        const size_t before = s.gathering.size();
        const bool open = s.fd >= 0 && !s.ending && !s.failed;
        if (video) {
            const bool key = !GST_BUFFER_FLAG_IS_SET(buffer, GST_BUFFER_FLAG_DELTA_UNIT);
            addPicture(open, key, caps, ms, map.data, map.size);
            s.gatheringPictureBytes += s.gathering.size() - before;
        } else if (open && sound_) {
            addSound(caps, ms, map.data, map.size);
            s.gatheringSoundBytes += s.gathering.size() - before;
        }
        if (s.gathering.size() >= kWriteAt) {
            s.wake.notify_one();
        }
    }
    gst_buffer_unmap(buffer, &map);
    gst_buffer_unref(buffer);
}

void FlvFileWriter::addPicture(bool open, bool key, GstCaps* caps, uint32_t ms, const uint8_t* data,
                               size_t size) {
    Shared& s = *shared_;
    if (!open || (s.waitingForKey && !key) || !announcePictures(caps, ms) ||
        !flv::appendPicture(s.gathering, ms, key, flv::Payload::kData, data, size)) {
        s.waitingForKey = true;
        ++s.picturesLeftOut;
        return;
    }
    s.waitingForKey = false;
}

void FlvFileWriter::addSound(GstCaps* caps, uint32_t ms, const uint8_t* data, size_t size) {
    // A block left out is only a gap: each decodes alone.
    if (announceSound(caps, ms)) {
        flv::appendSound(shared_->gathering, ms, flv::Payload::kData, data, size);
    }
}

bool FlvFileWriter::announcePictures(GstCaps* caps, uint32_t ms) {
    Shared& s = *shared_;
    if (sameCaps(s.pictureCaps, caps)) {
        return true;
    }
    CodecData avcC(caps);
    if (!avcC.valid() || !flv::appendPicture(s.gathering, ms, true, flv::Payload::kSequenceHeader,
                                             avcC.data(), avcC.size())) {
        return false;
    }
    gst_caps_replace(&s.pictureCaps, caps);
    return true;
}

bool FlvFileWriter::announceSound(GstCaps* caps, uint32_t ms) {
    Shared& s = *shared_;
    if (sameCaps(s.soundCaps, caps)) {
        return true;
    }
    CodecData config(caps);
    if (!config.valid() || !flv::appendSound(s.gathering, ms, flv::Payload::kSequenceHeader,
                                             config.data(), config.size())) {
        return false;
    }
    gst_caps_replace(&s.soundCaps, caps);
    return true;
}

void FlvFileWriter::end() {
    std::lock_guard<std::mutex> guard(shared_->lock);
    shared_->ending = true;
    shared_->wake.notify_one();
}

uint64_t FlvFileWriter::videoBytesWaiting() const {
    std::lock_guard<std::mutex> guard(shared_->lock);
    return shared_->gatheringPictureBytes + shared_->writingPictureBytes;
}

uint64_t FlvFileWriter::soundBytesWaiting() const {
    std::lock_guard<std::mutex> guard(shared_->lock);
    return shared_->gatheringSoundBytes + shared_->writingSoundBytes;
}

uint64_t FlvFileWriter::picturesLeftOut() const {
    std::lock_guard<std::mutex> guard(shared_->lock);
    return shared_->picturesLeftOut;
}

bool FlvFileWriter::failed() const {
    std::lock_guard<std::mutex> guard(shared_->lock);
    return shared_->failed;
}

bool FlvFileWriter::finish(std::chrono::milliseconds limit) {
    if (!thread_.joinable()) {
        return false;
    }
    end();
    std::unique_lock<std::mutex> lock(shared_->lock);
    const bool closed = shared_->finished.wait_for(lock, limit, [this] { return shared_->closed; });
    const bool whole = closed && !shared_->failed;
    lock.unlock();
    if (closed) {
        thread_.join();
    } else {
        // The thread keeps the shared block and closes the file once the
        // disk lets its write return.
        thread_.detach();
    }
    return whole;
}

void FlvFileWriter::writeOut(std::shared_ptr<Shared> shared) {
    Shared& s = *shared;
    std::unique_lock<std::mutex> lock(s.lock);
    for (;;) {
        s.wake.wait_for(lock, kMostHeld,
                        [&s] { return s.ending || s.gathering.size() >= kWriteAt; });
        if (s.gathering.empty()) {
            if (s.ending) {
                break;
            }
            continue;
        }
        std::swap(s.gathering, s.writing);
        s.writingPictureBytes = std::exchange(s.gatheringPictureBytes, 0);
        s.writingSoundBytes = std::exchange(s.gatheringSoundBytes, 0);
        const bool skip = s.failed;
        lock.unlock();
        const bool written = skip || writeAll(s.fd, s.writing);
        const int error = errno;
        lock.lock();
        if (!written) {
            debugLog("FlvFileWriter, the file cannot be written: %s", std::strerror(error));
            s.failed = true;
        }
        s.writing.clear();
        s.writingPictureBytes = 0;
        s.writingSoundBytes = 0;
    }
    ::close(s.fd);
    s.fd = -1;
    s.closed = true;
    s.finished.notify_all();
}
