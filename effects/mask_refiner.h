#pragma once

#include <opencv2/core.hpp>

#include <cstdint>

#include "effects/background_passes.h"
#include "effects/cell_runs.h"
#include "effects/segmentation_worker.h"

// Turns the worker's mask into the mask of one frame: the guided filter's
// coefficients doubled to half the frame's size, applied to the frame's own
// grey there, and doubled again, but only where the worker's regions say
// the result is not known beforehand. Cells sure of the person or of the
// background are handed over as runs without a mask, so a frame costs in
// proportion to the length of the person's outline, not to its area. The
// mask bytes are those of the whole-frame passes (upsampleDouble,
// refineMask, upsampleDouble) everywhere.
//
// Frames are BGRx with sides divisible by eight and the mask's coefficients
// a quarter of the frame's size. The scratch is made once per frame size;
// nothing is allocated for a frame after that.
class MaskRefiner {
public:
    // Works out the half-size mask in the cells that need it, for this frame
    // and this mask of the worker's.
    void prepare(const cv::Mat& frame, const SegmentationMask& worker);

    // Calls visit(kind, from, to, mask) for each run of frame row y, in
    // pixels [from, to) of the row, left to right. For an Edge run `mask`
    // holds the mask of those pixels (255 = person); for the others it is
    // null. Valid for the frame last prepared.
    template <typename Visit>
    void forEachRun(int y, Visit visit) {
        for (const CellRun& run : runs_.kinds(y / 4)) {
            const uint8_t* mask = nullptr;
            if (run.kind == CellKind::Edge) {
                doubleByteSpan(halfMask_, y, 2 * run.from, 2 * run.to, maskRow_.data);
                mask = maskRow_.data;
            }
            visit(run.kind, 4 * run.from, 4 * run.to, mask);
        }
    }

    // The whole mask of the frame last prepared (CV_8UC1, the frame's size,
    // made by the caller).
    void wholeMask(cv::Mat& mask);

private:
    void makeScratch(cv::Size frame);

    cv::Size frameSize_;
    CellRuns runs_;       // the prepared mask's runs, copied
    cv::Mat halfMask_;    // CV_8UC1, half the frame's size; valid in refined cells only
    cv::Mat halfPixels_;  // one row of half-size BGRx pixels
    cv::Mat halfCoeffs_;  // one row of half-size coefficients, CV_32FC2
    cv::Mat grey_;        // one row of half-size luma
    cv::Mat maskRow_;     // one row of the frame's mask
};
