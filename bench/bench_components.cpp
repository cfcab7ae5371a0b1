#include "bench/bench_components.h"

StillSource::StillSource() {
    std::vector<uint8_t> picture(VideoFrame::kSize32);
    for (size_t i = 0; i < picture.size(); ++i) {
        picture[i] = static_cast<uint8_t>(i * 31);
    }
    PushFrame(picture.data(), picture.size());
}

void TimestampOutput::OnFrame32(const uint8_t*, size_t, int32_t, int32_t) {
    if (stamps_.size() < stamps_.capacity()) {
        stamps_.push_back(std::chrono::steady_clock::now());
    }
    count_.fetch_add(1);
}
