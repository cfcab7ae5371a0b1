#include "vcam/stream_sink.h"

#include <unistd.h>

#include <cerrno>

bool StreamSink::write(const uint8_t* data, size_t size) {
    while (size > 0) {
        ssize_t written = ::write(fd_, data, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;  // EPIPE and friends: nobody reads any more
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}
