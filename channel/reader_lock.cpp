#include "channel/reader_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <string>

#include "channel/channel_names.h"

namespace {
constexpr const char* kLockName = "lumora-vcam.lock";

int openLockFile() {
    return ::open(channelObjectPath(kLockName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW,
                  0600);
}
}  // namespace

ReaderLock::~ReaderLock() {
    if (fd_ >= 0) {
        ::close(fd_);  // closing the only descriptor drops the lock
    }
}

bool ReaderLock::take() {
    if (fd_ >= 0) {
        return true;
    }
    int fd = openLockFile();
    if (fd < 0) {
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

bool ReaderLock::heldByAnyone() {
    int fd = openLockFile();
    if (fd < 0) {
        return false;
    }
    // A fresh descriptor is a lock of its own: it fails even against this
    // process's lock, as the question means.
    bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0;
    ::close(fd);
    return held;
}
