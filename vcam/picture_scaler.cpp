#include "vcam/picture_scaler.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "base/video_frame.h"

PictureScaler::Taps PictureScaler::tapsFor(int from, int to) {
    Taps taps;
    taps.first.resize(static_cast<size_t>(to));
    taps.weight.resize(static_cast<size_t>(to));
    for (int i = 0; i < to; ++i) {
        // Pixel centres meet: target centre i + 1/2 lies at this source position.
        double position = (i + 0.5) * from / to - 0.5;
        position = std::clamp(position, 0.0, static_cast<double>(from - 1));
        auto first = static_cast<uint32_t>(position);
        first = std::min(first, static_cast<uint32_t>(std::max(from - 2, 0)));
        taps.first[static_cast<size_t>(i)] = first;
        taps.weight[static_cast<size_t>(i)] =
            static_cast<uint32_t>(std::clamp((position - first) * 256.0 + 0.5, 0.0, 256.0));
    }
    return taps;
}

void PictureScaler::prepare(PictureSize from, PictureSize to, Fit fit) {
    from_ = from;
    to_ = to;
    inner_ = to;
    if (fit == Fit::Letterbox && from.width > 0 && from.height > 0) {
        int64_t wide = static_cast<int64_t>(from.width) * to.height;
        int64_t tall = static_cast<int64_t>(to.width) * from.height;
        if (wide > tall) {
            inner_.height = std::max<int>(1, static_cast<int>(tall / from.width));
        } else if (wide < tall) {
            // An even width keeps the picture's edges on whole pixel pairs of
            // the packed YUV formats.
            inner_.width = std::max<int>(2, static_cast<int>(wide / from.height) & ~1);
        }
    }
    left_ = (to.width - inner_.width) / 2 & ~1;
    top_ = (to.height - inner_.height) / 2;
    columns_ = tapsFor(from.width, inner_.width);
    rows_ = tapsFor(from.height, inner_.height);
}

void PictureScaler::scale(const uint8_t* source, uint8_t* destination) const {
    const size_t sourceRow = VideoFrame::RowBytes(from_.width, 24);
    const size_t targetRow = VideoFrame::RowBytes(to_.width, 24);
    // A one-pixel-wide or -high source has no second tap to blend with.
    const size_t nextColumn = from_.width > 1 ? 3 : 0;
    const size_t nextRow = from_.height > 1 ? sourceRow : 0;
    const size_t leftBytes = static_cast<size_t>(left_) * 3;
    const size_t innerBytes = static_cast<size_t>(inner_.width) * 3;
    for (int row = 0; row < to_.height; ++row) {
        uint8_t* out = destination + static_cast<size_t>(row) * targetRow;
        const int y = row - top_;
        if (y < 0 || y >= inner_.height) {
            std::memset(out, 0, targetRow);
            continue;
        }
        std::memset(out, 0, leftBytes);
        std::memset(out + leftBytes + innerBytes, 0, targetRow - leftBytes - innerBytes);
        out += leftBytes;
        const uint8_t* top = source + rows_.first[static_cast<size_t>(y)] * sourceRow;
        const uint32_t down = rows_.weight[static_cast<size_t>(y)];
        for (int x = 0; x < inner_.width; ++x) {
            const uint8_t* left = top + columns_.first[static_cast<size_t>(x)] * 3;
            const uint32_t right = columns_.weight[static_cast<size_t>(x)];
            for (size_t channel = 0; channel < 3; ++channel) {
                uint32_t upper = left[channel] * (256 - right) + left[channel + nextColumn] * right;
                uint32_t lower = left[channel + nextRow] * (256 - right) +
                                 left[channel + nextRow + nextColumn] * right;
                out[static_cast<size_t>(x) * 3 + channel] =
                    static_cast<uint8_t>((upper * (256 - down) + lower * down + 32768) >> 16);
            }
        }
    }
}
