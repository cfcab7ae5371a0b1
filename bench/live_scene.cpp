#include "bench/live_scene.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "tests/support/frame_number_band.h"

BlackSource::BlackSource(const OutputMode& mode) {
    std::vector<uint8_t> frame(mode.Size32(), 0);
    PushFrame(frame.data(), frame.size());
}

void MovingBall::Process(uint8_t* data, size_t, int32_t width, int32_t height) {
    std::fill(data, data + static_cast<size_t>(width) * height * 4, 0);
    const int radius = height / 24;
    const int cx = width / 2 + static_cast<int>(width * 0.4 * std::sin(tick_ * 0.07));
    const int cy = height / 2 + static_cast<int>(height * 0.35 * std::cos(tick_ * 0.05));
    for (int y = std::max(0, cy - radius); y < std::min(height, cy + radius); ++y) {
        for (int x = std::max(0, cx - radius); x < std::min(width, cx + radius); ++x) {
            if ((x - cx) * (x - cx) + (y - cy) * (y - cy) < radius * radius) {
                uint8_t* px = data + (static_cast<size_t>(y) * width + x) * 4;
                px[0] = px[1] = px[2] = 255;
            }
        }
    }
    ++tick_;
    if (numbered_) {
        FrameNumberBand::draw(data, width, height, tick_);
    }
}

long statusKb(const std::string& pid, const std::string& field) {
    std::ifstream status("/proc/" + pid + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field + ":", 0) == 0) {
            return std::atol(line.c_str() + field.size() + 1);
        }
    }
    return 0;
}
