#include "effects/mask_refiner.h"

#include <cstring>

#include "effects/background_passes.h"

namespace {
// Calls `span(from, to)` for each run of cells of one regions row whose
// value `key(cell)` is the same, with that value.
template <typename Key, typename Span>
void forEachSpan(const uint8_t* cells, int count, Key key, Span span) {
    int from = 0;
    while (from < count) {
        const auto kind = key(cells[from]);
        int to = from + 1;
        while (to < count && key(cells[to]) == kind) {
            ++to;
        }
        span(kind, from, to);
        from = to;
    }
}

enum class Known { Person, Background, Neither };

Known knownOf(uint8_t cell) {
    if ((cell & kRegionPerson) != 0) {
        return Known::Person;
    }
    return (cell & kRegionBackground) != 0 ? Known::Background : Known::Neither;
}
}  // namespace

void MaskRefiner::makeScratch(cv::Size frame) {
    frameSize_ = frame;
    halfMask_.create(frame.height / 2, frame.width / 2, CV_8UC1);
    halfPixels_.create(1, frame.width / 2, CV_8UC4);
    halfCoeffs_.create(1, frame.width / 2, CV_32FC2);
    grey_.create(1, frame.width / 2, CV_8UC1);
}

void MaskRefiner::refine(const cv::Mat& frame, const SegmentationMask& worker, cv::Mat& mask) {
    if (frame.size() != frameSize_) {
        makeScratch(frame.size());
    }
    refineHalf(frame, worker);
    for (int y = 0; y < frame.rows; ++y) {
        fillRow(y, worker.regions, mask.ptr<uint8_t>(y));
    }
}

// Half-size row r lies in cell row r / 2; cell c covers half-size columns
// 2c and 2c + 1 and frame columns 4c to 4c + 3.
void MaskRefiner::refineHalf(const cv::Mat& frame, const SegmentationMask& worker) {
    for (int r = 0; r < halfMask_.rows; ++r) {
        const uint8_t* cells = worker.regions.ptr<uint8_t>(r / 2);
        forEachSpan(
            cells, worker.regions.cols, [](uint8_t cell) { return (cell & kRegionRefine) != 0; },
            [&](bool marked, int from, int to) {
                if (!marked) {
                    return;
                }
                const int width = 2 * (to - from);
                halveRows(frame.ptr<uint8_t>(2 * r) + 16 * from,
                          frame.ptr<uint8_t>(2 * r + 1) + 16 * from, width,
                          halfPixels_.ptr<uint8_t>(0));
                doubleSpan(worker.coefficients, r, from, to, halfCoeffs_.ptr<float>(0));
                refineRow(halfPixels_.ptr<uint8_t>(0), halfCoeffs_.ptr<float>(0), width,
                          grey_.ptr<uint8_t>(0), halfMask_.ptr<uint8_t>(r) + 2 * from);
            });
    }
}

void MaskRefiner::fillRow(int y, const cv::Mat& regions, uint8_t* row) {
    forEachSpan(regions.ptr<uint8_t>(y / 4), regions.cols, knownOf,
                [&](Known known, int from, int to) {
                    uint8_t* out = row + 4 * from;
                    const size_t count = 4 * static_cast<size_t>(to - from);
                    switch (known) {
                        case Known::Person:
                            std::memset(out, 255, count);
                            break;
                        case Known::Background:
                            std::memset(out, 0, count);
                            break;
                        case Known::Neither:
                            doubleSpan(halfMask_, y, 2 * from, 2 * to, out);
                            break;
                    }
                });
}
