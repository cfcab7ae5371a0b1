#pragma once

#include <opencv2/core.hpp>

#include "effects/segmentation_worker.h"

// Turns the worker's mask into the mask of one frame: the guided filter's
// coefficients doubled to half the frame's size, applied to the frame's own
// grey there, and doubled again. Only where the worker's regions say the
// result is not already known: cells sure of the person or of the
// background are filled with 255 or 0 at once, so a frame costs in
// proportion to the length of the person's outline, not to its area. The
// bytes are those of the whole-frame passes (upsampleDouble, refineMask,
// upsampleDouble) everywhere.
//
// Frames are BGRx with sides divisible by eight and the mask's coefficients
// a quarter of the frame's size. The scratch is made once per frame size.
class MaskRefiner {
public:
    // Writes `mask` (CV_8UC1, the frame's size, made by the caller).
    void refine(const cv::Mat& frame, const SegmentationMask& worker, cv::Mat& mask);

private:
    void makeScratch(cv::Size frame);
    // The half-size refined mask in the cells marked for it.
    void refineHalf(const cv::Mat& frame, const SegmentationMask& worker);
    // One frame row of the mask from the regions and the half-size mask.
    void fillRow(int y, const cv::Mat& regions, uint8_t* row);

    cv::Size frameSize_;
    cv::Mat halfMask_;    // CV_8UC1, half the frame's size; valid in marked cells only
    cv::Mat halfPixels_;  // one row of half-size BGRx pixels
    cv::Mat halfCoeffs_;  // one row of half-size coefficients, CV_32FC2
    cv::Mat grey_;        // one row of half-size luma
};
