#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>

struct SharedMutexBlock;

// A mutex that several processes of one user find by name: a robust,
// process-shared pthread mutex in a small private file beside the channel's
// block. When a holder dies, the next locker recovers the mutex, as with an
// abandoned mutex. Error results are errno values.
class NamedMutex {
public:
    NamedMutex() = default;
    ~NamedMutex();
    NamedMutex(const NamedMutex&) = delete;
    NamedMutex& operator=(const NamedMutex&) = delete;

    // Opens the mutex of this name, creating it when there is none. 0 on
    // success; EACCES when the existing file is not a private one of ours.
    int create(const std::string& name);
    // Opens an existing mutex: 0, ENOENT when none exists, or another errno.
    int open(const std::string& name);
    bool isOpen() const { return block_ != nullptr; }

    // Waits at most `timeout` on the monotonic clock. 0 when the mutex is
    // held (also after recovering it from an owner that died), ETIMEDOUT, or
    // another errno.
    int lock(std::chrono::milliseconds timeout);
    void unlock();

    // Unmaps the mutex; with removeName, also removes the name when it still
    // belongs to this mutex, so that readers learn the writer is gone.
    void close(bool removeName = false);

private:
    int map(int fd);
    int makeNew(const std::string& path);

    SharedMutexBlock* block_ = nullptr;
    std::string path_;
    dev_t device_ = 0;
    ino_t inode_ = 0;
};
