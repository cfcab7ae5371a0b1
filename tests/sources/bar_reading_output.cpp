#include "tests/sources/bar_reading_output.h"

#include <algorithm>

#include "base/video_frame.h"
#include "tests/support/frame_log.h"

namespace {
std::string colourOf(const BarReadingOutput::Pixel& pixel) {
    const uint8_t bgrx[4] = {pixel[0], pixel[1], pixel[2], 0};
    return nearestColour(bgrx);
}
}  // namespace

void BarReadingOutput::OnFrame32(const uint8_t* data, size_t, int32_t width, int32_t height) {
    Reading reading{Clock::now(), {}};
    const uint8_t* line = VideoFrame::PictureRow(data, width * 4, height, height / 2);
    int barWidth = width / kBars;
    for (int bar = 0; bar < kBars; ++bar) {
        const uint8_t* pixel = line + (bar * barWidth + barWidth / 2) * 4;
        reading.bars[bar] = {pixel[0], pixel[1], pixel[2]};
    }
    std::lock_guard<std::mutex> guard(lock_);
    readings_.push_back(reading);
}

std::vector<std::string> BarReadingOutput::latestColours() const {
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<std::string> colours;
    if (!readings_.empty()) {
        for (const Pixel& pixel : readings_.back().bars) {
            colours.push_back(colourOf(pixel));
        }
    }
    return colours;
}

int BarReadingOutput::latestLevel(int bar) const {
    std::lock_guard<std::mutex> guard(lock_);
    if (readings_.empty()) {
        return -1;
    }
    const Pixel& pixel = readings_.back().bars[bar];
    return (pixel[0] + pixel[1] + pixel[2]) / 3;
}

std::optional<BarReadingOutput::Clock::time_point> BarReadingOutput::firstAllOf(
    const std::string& colour, Clock::time_point after) const {
    std::lock_guard<std::mutex> guard(lock_);
    for (const Reading& reading : readings_) {
        bool all = std::all_of(reading.bars.begin(), reading.bars.end(),
                               [&](const Pixel& pixel) { return colourOf(pixel) == colour; });
        if (reading.when > after && all) {
            return reading.when;
        }
    }
    return std::nullopt;
}
