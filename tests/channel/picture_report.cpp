#include "tests/channel/picture_report.h"

#include <chrono>
#include <thread>

#include "channel/vcam_reader.h"
#include "tests/support/child_process.h"

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
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (seen < count && std::chrono::steady_clock::now() < deadline) {
        channel.poll();
        int width = 0, height = 0;
        uint32_t size = 0;
        const uint8_t* frame = channel.acquireFrame(&width, &height, &size);
        if (frame != nullptr && channel.header().sequence != last) {
            last = channel.header().sequence;
            ++seen;
            writeAll(out, std::to_string(last) + " " + std::to_string(width) + "x" +
                              std::to_string(height) + "@" + std::to_string(channel.frameRate()) +
                              " " + std::to_string(pictureChecksum(frame, size)) + "\n");
        }
        channel.release();
        // The writer writes when the test says; polling faster finds nothing more.
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return seen == count ? 0 : 1;
}
