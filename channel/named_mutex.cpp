#include "channel/named_mutex.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <ctime>

#include "channel/channel_names.h"

// The file's content. The magic is stored last, after the mutex was
// initialised, so an opener never uses a mutex that is not ready.
struct SharedMutexBlock {
    uint32_t magic;
    uint32_t reserved;
    pthread_mutex_t mutex;
};

namespace {
constexpr uint32_t kMagic = 0x4D78564C;  // "LVxM"

timespec deadlineAfter(std::chrono::milliseconds timeout) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    long long nanoseconds = now.tv_nsec + static_cast<long long>(timeout.count()) * 1'000'000;
    now.tv_sec += static_cast<time_t>(nanoseconds / 1'000'000'000);
    now.tv_nsec = static_cast<long>(nanoseconds % 1'000'000'000);
    return now;
}

bool initialiseMutex(pthread_mutex_t* mutex) {
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_setpshared(&attributes, PTHREAD_PROCESS_SHARED);
    pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST);
    int result = pthread_mutex_init(mutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
    return result == 0;
}
}  // namespace

NamedMutex::~NamedMutex() { close(); }

int NamedMutex::create(const std::string& name) {
    int result = open(name);
    if (result != ENOENT) {
        return result;
    }
    result = makeNew(channelObjectPath(name));
    // EEXIST: another process made it between our open and our link.
    return result == 0 || result == EEXIST ? open(name) : result;
}

int NamedMutex::makeNew(const std::string& path) {
    std::string temporary = path + ".new-" + std::to_string(::getpid());
    ::unlink(temporary.c_str());
    int fd = ::open(temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        return errno;
    }
    int result = 0;
    if (::fchmod(fd, 0600) != 0 || ::ftruncate(fd, sizeof(SharedMutexBlock)) != 0) {
        result = errno;
    }
    void* mapping = result == 0 ? ::mmap(nullptr, sizeof(SharedMutexBlock), PROT_READ | PROT_WRITE,
                                         MAP_SHARED, fd, 0)
                                : MAP_FAILED;
    if (mapping != MAP_FAILED) {
        auto* block = static_cast<SharedMutexBlock*>(mapping);
        result = initialiseMutex(&block->mutex) ? 0 : EINVAL;
        std::atomic_ref<uint32_t>(block->magic).store(kMagic, std::memory_order_release);
        ::munmap(mapping, sizeof(SharedMutexBlock));
    } else if (result == 0) {
        result = errno;
    }
    // link() refuses to replace an existing name, unlike rename().
    if (result == 0 && ::link(temporary.c_str(), path.c_str()) != 0) {
        result = errno;
    }
    ::unlink(temporary.c_str());
    ::close(fd);
    return result;
}

int NamedMutex::open(const std::string& name) {
    close();
    std::string path = channelObjectPath(name);
    int fd = ::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    int result = map(fd);
    ::close(fd);
    if (result == 0) {
        path_ = path;
    }
    return result;
}

int NamedMutex::map(int fd) {
    struct stat info {};
    if (!isPrivateChannelFile(fd) || ::fstat(fd, &info) != 0) {
        return EACCES;
    }
    if (info.st_size != static_cast<off_t>(sizeof(SharedMutexBlock))) {
        return EINVAL;
    }
    void* mapping =
        ::mmap(nullptr, sizeof(SharedMutexBlock), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (mapping == MAP_FAILED) {
        return errno;
    }
    auto* block = static_cast<SharedMutexBlock*>(mapping);
    if (std::atomic_ref<uint32_t>(block->magic).load(std::memory_order_acquire) != kMagic) {
        ::munmap(mapping, sizeof(SharedMutexBlock));
        return EINVAL;
    }
    block_ = block;
    device_ = info.st_dev;
    inode_ = info.st_ino;
    return 0;
}

int NamedMutex::lock(std::chrono::milliseconds timeout) {
    if (block_ == nullptr) {
        return EBADF;
    }
    timespec deadline = deadlineAfter(timeout);
    int result = pthread_mutex_clocklock(&block_->mutex, CLOCK_MONOTONIC, &deadline);
    if (result == EOWNERDEAD) {
        // The previous holder died mid-copy; the frame it was reading or
        // writing is overwritten by the next write anyway.
        pthread_mutex_consistent(&block_->mutex);
        result = 0;
    }
    return result;
}

void NamedMutex::unlock() {
    if (block_ != nullptr) {
        pthread_mutex_unlock(&block_->mutex);
    }
}

void NamedMutex::close(bool removeName) {
    if (block_ == nullptr) {
        return;
    }
    ::munmap(block_, sizeof(SharedMutexBlock));
    block_ = nullptr;
    struct stat info {};
    if (removeName && ::stat(path_.c_str(), &info) == 0 && info.st_dev == device_ &&
        info.st_ino == inode_) {
        ::unlink(path_.c_str());
    }
    path_.clear();
}
