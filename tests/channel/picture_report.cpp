#include "tests/channel/picture_report.h"

#include <chrono>

#include "channel/vcam_reader.h"
#include "tests/support/child_process.h"
#include "tests/support/eventually.h"

uint64_t pictureChecksum(const uint8_t* bytes, size_t size) {
    uint64_t sum = 0;
    for (size_t i = 0; i < size; ++i) {
        sum = sum * 31 + bytes[i];
    }
    return sum;
}

int reportNewPictures(int out, uint32_t count) {
    VCamReader channel;
    uint32_t last = 0;
    uint32_t seen = 0;
    bool all = eventually(
        [&] {
            channel.poll();
            int width = 0, height = 0;
            uint32_t size = 0;
            const uint8_t* frame = channel.acquireFrame(&width, &height, &size);
            if (frame != nullptr && channel.header().sequence != last) {
                last = channel.header().sequence;
                ++seen;
                writeAll(out, std::to_string(last) + " " + std::to_string(width) + "x" +
                                  std::to_string(height) + "@" +
                                  std::to_string(channel.frameRate()) + " " +
                                  std::to_string(pictureChecksum(frame, size)) + "\n");
            }
            channel.release();
            return seen == count;
        },
        std::chrono::seconds(10));
    return all ? 0 : 1;
}
