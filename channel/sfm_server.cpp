#include "channel/sfm_server.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "channel/channel_names.h"

namespace {
std::string temporaryPathBeside(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    return path + ".new-" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
}
}  // namespace

CSFMServer::~CSFMServer() { close(); }

void CSFMServer::create(const char* name, uint32_t size) {
    close();
    name_ = name != nullptr ? name : "_SFM_OBJ_";
    size_ = size != 0 ? size : 65536;
    lastError_ = makeBlock(channelObjectPath(name_)) ? 0 : lastError_;
    created_ = true;
}

bool CSFMServer::makeBlock(const std::string& path) {
    std::string temporary = temporaryPathBeside(path);
    int fd = ::open(temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        lastError_ = errno;
        return false;
    }
    struct stat info {};
    bool ready = ::fchmod(fd, 0600) == 0 && ::ftruncate(fd, size_) == 0 && ::fstat(fd, &info) == 0;
    void* mapping =
        ready ? ::mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0) : MAP_FAILED;
    if (mapping == MAP_FAILED || ::rename(temporary.c_str(), path.c_str()) != 0) {
        lastError_ = errno;
        if (mapping != MAP_FAILED) {
            ::munmap(mapping, size_);
        }
        ::unlink(temporary.c_str());
        ::close(fd);
        return false;
    }
    ::close(fd);
    view_ = static_cast<uint8_t*>(mapping);
    device_ = info.st_dev;
    inode_ = info.st_ino;
    return true;
}

void CSFMServer::close() {
    if (view_ != nullptr) {
        ::munmap(view_, size_);
        std::string path = channelObjectPath(name_);
        struct stat info {};
        if (::stat(path.c_str(), &info) == 0 && info.st_dev == device_ && info.st_ino == inode_) {
            ::unlink(path.c_str());
        }
    }
    view_ = nullptr;
    name_.clear();
    size_ = 0;
    created_ = false;
    device_ = 0;
    inode_ = 0;
}
