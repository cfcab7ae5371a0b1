#include "effects/mask_refiner.h"

#include <cstring>

void MaskRefiner::makeScratch(cv::Size frame) {
    frameSize_ = frame;
    halfMask_.create(frame.height / 2, frame.width / 2, CV_8UC1);
    halfPixels_.create(1, frame.width / 2, CV_8UC4);
    halfCoeffs_.create(1, frame.width / 2, CV_32FC2);
    grey_.create(1, frame.width / 2, CV_8UC1);
    maskRow_.create(1, frame.width, CV_8UC1);
    runs_.reserve(cv::Size(frame.width / 4, frame.height / 4));
}

// Half-size row r lies in cell row r / 2; cell c covers half-size columns
// 2c and 2c + 1 and frame columns 4c to 4c + 3.
void MaskRefiner::prepare(const cv::Mat& frame, const SegmentationMask& worker) {
    if (frame.size() != frameSize_) {
        makeScratch(frame.size());
    }
    runs_ = worker.runs;
    for (int r = 0; r < halfMask_.rows; ++r) {
        for (const CellRun& run : runs_.refined(r / 2)) {
            const int width = 2 * (run.to - run.from);
            halveRows(frame.ptr<uint8_t>(2 * r) + 16 * run.from,
                      frame.ptr<uint8_t>(2 * r + 1) + 16 * run.from, width,
                      halfPixels_.ptr<uint8_t>(0));
            doublePairSpan(worker.coefficients, r, run.from, run.to, halfCoeffs_.ptr<float>(0));
            refineRow(halfPixels_.ptr<uint8_t>(0), halfCoeffs_.ptr<float>(0), width,
                      grey_.ptr<uint8_t>(0), halfMask_.ptr<uint8_t>(r) + 2 * run.from);
        }
    }
}

void MaskRefiner::wholeMask(cv::Mat& mask) {
    for (int y = 0; y < mask.rows; ++y) {
        uint8_t* row = mask.ptr<uint8_t>(y);
        forEachRun(y, [&](CellKind kind, int from, int to, const uint8_t* refined) {
            const auto count = static_cast<size_t>(to - from);
            if (kind == CellKind::Edge) {
                std::memcpy(row + from, refined, count);
            } else {
                std::memset(row + from, kind == CellKind::Person ? 255 : 0, count);
            }
        });
    }
}
