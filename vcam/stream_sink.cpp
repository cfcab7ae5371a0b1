#include "vcam/stream_sink.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>

#include <cerrno>
#include <string>

namespace {
// The most a user may ask for without privileges (fs/pipe-max-size's
// default).
constexpr size_t kWidestPipe = 1 << 20;

std::string sizeText(PictureSize size) {
    return std::to_string(size.width) + "x" + std::to_string(size.height);
}
}  // namespace

void StreamSink::follow(const PictureMode& mode) {
    if (!written_) {
        size_ = mode.size;
        return;
    }
    if (mode.size == size_ || noted_) {
        return;
    }
    noted_ = true;
    std::string note = "lumora-vcam: the picture is now " + sizeText(mode.size) +
                       "; standard output keeps " + sizeText(size_) +
                       ", its size from the start, and letterboxes the pictures into it\n";
    // A note that cannot be written changes nothing for the stream.
    [[maybe_unused]] ssize_t ignored = ::write(noteFd_, note.data(), note.size());
}

bool StreamSink::write(const SinkPicture& picture) {
    const uint8_t* data = picture.bytes;
    size_t size = picture.size;
    if (!written_) {
        // A pipe that holds a good part of a picture spares the reader and
        // its consumer a wake-up every 64 KiB: a 1920 x 1080 picture would
        // take about a hundred. Not a pipe, or not allowed: it stays as it is.
        [[maybe_unused]] int ignored = ::fcntl(fd_, F_SETPIPE_SZ, std::min(size, kWidestPipe));
        written_ = true;
    }
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
