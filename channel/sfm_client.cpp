#include "channel/sfm_client.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "channel/channel_names.h"

CSFMClient::~CSFMClient() { close(); }

void CSFMClient::open(const char* name) {
    close();
    name_ = name != nullptr ? name : "_SFM_OBJ_";
    path_ = channelObjectPath(name_);
    opened_ = true;
    int fd = ::open(path_.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        lastError_ = errno;
        return;
    }
    struct stat info {};
    if (!isPrivateChannelFile(fd) || ::fstat(fd, &info) != 0) {
        lastError_ = EACCES;
    } else if (info.st_size <= 0) {
        lastError_ = EINVAL;
    } else {
        void* mapping =
            ::mmap(nullptr, static_cast<size_t>(info.st_size), PROT_READ, MAP_SHARED, fd, 0);
        if (mapping == MAP_FAILED) {
            lastError_ = errno;
        } else {
            view_ = static_cast<const uint8_t*>(mapping);
            size_ = static_cast<size_t>(info.st_size);
            device_ = info.st_dev;
            inode_ = info.st_ino;
            lastError_ = 0;
        }
    }
    ::close(fd);
}

bool CSFMClient::replaced() const {
    if (view_ == nullptr) {
        return false;
    }
    struct stat info {};
    if (::lstat(path_.c_str(), &info) != 0) {
        return true;
    }
    return info.st_dev != device_ || info.st_ino != inode_;
}

bool CSFMClient::renewed() const {
    if (view_ == nullptr) {
        return false;
    }
    struct stat info {};
    return ::lstat(path_.c_str(), &info) == 0 && (info.st_dev != device_ || info.st_ino != inode_);
}

void CSFMClient::close() {
    if (view_ != nullptr) {
        ::munmap(const_cast<uint8_t*>(view_), size_);
    }
    view_ = nullptr;
    name_.clear();
    path_.clear();
    size_ = 0;
    opened_ = false;
}
