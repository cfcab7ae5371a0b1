// Records made-up pictures and the microphone into the file named on the
// command line until it is killed, as a program that crashes mid-recording
// would. Prints "recording" once the recording runs.

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "base/video_frame.h"
#include "outputs/wmv_record_output.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <file>\n", argv[0]);
        return 2;
    }
    std::string path = argv[1];
    WmvRecordOutput output(std::wstring(path.begin(), path.end()), 15, 3);
    if (!output.start()) {
        std::fprintf(stderr, "the recording did not start\n");
        return 1;
    }
    std::printf("recording\n");
    std::fflush(stdout);
    std::vector<uint8_t> frame(VideoFrame::kSize24);
    for (uint8_t shade = 0;; shade += 3) {
        std::fill(frame.begin(), frame.end(), shade);
        output.OnFrame24(frame.data(), frame.size(), VideoFrame::kWidth, VideoFrame::kHeight);
        std::this_thread::sleep_for(std::chrono::milliseconds(66));
    }
}
