// libFuzzer target over the channel reader's checks of the block: whatever
// bytes sit in the block (a writer of another version, a half-written file, a
// file someone else made), the reader either hands over a frame that lies
// wholly inside the mapping or none, and never reads past the mapping's end.

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "channel/channel_names.h"
#include "channel/named_mutex.h"
#include "channel/vcam_reader.h"

namespace {
// A private runtime folder with the channel's mutex, made once per run.
struct Channel {
    Channel() {
        char folder[] = "/tmp/lumora-fuzz-XXXXXX";
        if (mkdtemp(folder) == nullptr) {
            std::abort();
        }
        setenv("XDG_RUNTIME_DIR", folder, 1);
        if (mutex.create(kVCamMutexName) != 0) {
            std::abort();
        }
        blockPath = channelObjectPath(kVCamBlockName);
    }
    NamedMutex mutex;
    std::string blockPath;
};

// Puts the bytes in place as the block, the way a writer does: a private
// file renamed over the name.
bool placeBlock(const std::string& path, const uint8_t* data, size_t size) {
    std::string fresh = path + ".new";
    int fd = ::open(fresh.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    bool written = size == 0 || ::write(fd, data, size) == static_cast<ssize_t>(size);
    ::close(fd);
    return written && ::rename(fresh.c_str(), path.c_str()) == 0;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Channel channel;
    if (!placeBlock(channel.blockPath, data, size)) {
        return 0;
    }
    VCamReader reader;
    reader.poll();
    int width = 0;
    int height = 0;
    uint32_t imageSize = 0;
    const uint8_t* frame = reader.acquireFrame(&width, &height, &imageSize);
    if (frame != nullptr) {
        // Every promised byte is read: outside the mapping, the sanitizer stops here.
        volatile uint8_t sum = 0;
        for (uint32_t i = 0; i < imageSize; ++i) {
            sum = static_cast<uint8_t>(sum + frame[i]);
        }
    }
    reader.release();
    return 0;
}
