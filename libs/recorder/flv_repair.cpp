#include "libs/recorder/flv_repair.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>

#include "libs/recorder/flv_layout.h"

namespace {
// Signed, for the file offsets they are added to.
constexpr int kHeaderSize = flv::kFileHeaderBytes;
constexpr int kTagHeaderSize = flv::kTagHeaderBytes;
constexpr int kBackPointerSize = flv::kBackPointerBytes;

bool readAt(int fd, int64_t offset, uint8_t* buffer, size_t size) {
    return ::pread(fd, buffer, size, offset) == static_cast<ssize_t>(size);
}

// Walks the tags; returns the offset just past the last complete one.
int64_t endOfCompleteTags(int fd, int64_t fileSize, FlvRepairResult* result) {
    std::array<uint8_t, kHeaderSize> header{};
    readAt(fd, 0, header.data(), header.size());
    int64_t offset = static_cast<int64_t>(readBigEndian(header.data() + 5, 4)) + kBackPointerSize;
    int64_t end = offset;
    std::array<uint8_t, kTagHeaderSize> tag{};
    while (offset + kTagHeaderSize <= fileSize && readAt(fd, offset, tag.data(), tag.size())) {
        int64_t dataSize = flv::tagDataSize(tag.data());
        int64_t next = offset + kTagHeaderSize + dataSize + kBackPointerSize;
        if (next > fileSize) {
            break;
        }
        uint32_t stamp = flv::tagTime(tag.data());
        result->lastTimestampMs = stamp;
        ++result->tags;
        offset = end = next;
    }
    return end;
}
}  // namespace

FlvRepairResult repairFlvTail(const std::string& path) {
    FlvRepairResult result;
    int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        return result;
    }
    struct stat info {};
    std::array<uint8_t, kHeaderSize> header{};
    if (::fstat(fd, &info) != 0 || !readAt(fd, 0, header.data(), header.size()) ||
        header[0] != 'F' || header[1] != 'L' || header[2] != 'V') {
        ::close(fd);
        return result;
    }
    result.isFlv = true;
    int64_t end = endOfCompleteTags(fd, info.st_size, &result);
    if (end < info.st_size && ::ftruncate(fd, end) == 0) {
        result.bytesCut = info.st_size - end;
    }
    ::close(fd);
    return result;
}
