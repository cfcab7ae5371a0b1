#include "bench/bench_components.h"

StillSource::StillSource(int32_t width, int32_t height, int32_t type) {
    typeId_ = type;
    SetFrameSize(width, height);
    std::vector<uint8_t> picture(VideoFrame::Size32(width, height));
    for (size_t i = 0; i < picture.size(); ++i) {
        picture[i] = static_cast<uint8_t>(i * 2654435761u >> 13);
    }
    PushFrame(picture.data(), picture.size());
}

void TimestampOutput::OnFrame32(const uint8_t*, size_t, int32_t, int32_t) {
    if (stamps_.size() < stamps_.capacity()) {
        stamps_.push_back(std::chrono::steady_clock::now());
    }
    count_.fetch_add(1);
}
