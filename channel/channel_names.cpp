#include "channel/channel_names.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

std::string channelObjectPath(const std::string& name) {
    const char* runtimeDir = std::getenv("XDG_RUNTIME_DIR");
    if (runtimeDir != nullptr && runtimeDir[0] == '/') {
        return std::string(runtimeDir) + "/" + name;
    }
    return "/dev/shm/" + name + "-" + std::to_string(::geteuid());
}

bool isPrivateChannelFile(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        return false;
    }
    return S_ISREG(info.st_mode) && info.st_uid == ::geteuid() && (info.st_mode & 07777) == 0600;
}
