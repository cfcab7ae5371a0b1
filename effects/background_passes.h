#pragma once

#include <opencv2/core.hpp>

#include <cstddef>
#include <cstdint>

// The per-pixel passes of the background effect, on buffers the caller made
// once per picture size; none allocates. Pictures are BGRx (CV_8UC4) unless
// said otherwise; every pass treats rows alike, so the memory row order does
// not matter.

// Each pixel of `half` (w/2 x h/2) the mean of a 2 x 2 block of `full`
// (w x h, both even).
void downscaleHalf(const cv::Mat& full, cv::Mat& half);

// Bilinear doubling with the pixel centres kept in place (weights 1/4 and
// 3/4 in each direction, edges repeated): `big` is 2w x 2h of `small`.
// CV_8UC4, CV_8UC1 and CV_32FC2.
void upsampleDouble(const cv::Mat& small, cv::Mat& big);

// One row of upsampleDouble's result, and only its columns [2 from, 2 to):
// `out` receives big row `bigRow`'s pixels from column 2 from on. Reads
// `small`'s columns from - 1 to `to` (repeated at the edges) of the two rows
// next to the big row; the bytes are those upsampleDouble writes there.
// For CV_8UC1 and CV_32FC2 pictures.
void doubleByteSpan(const cv::Mat& small, int bigRow, int from, int to, uint8_t* out);
void doublePairSpan(const cv::Mat& small, int bigRow, int from, int to, float* out);

// The refined mask (CV_8UC1, 255 = person): a * grey + b clamped to [0, 1],
// grey the BT.601 luma of `picture` in [0, 1] and (a, b) the guided filter's
// coefficients (CV_32FC2) at the picture's size. `greyRow` is scratch, one
// row of CV_8UC1 as wide as the picture.
void refineMask(const cv::Mat& picture, const cv::Mat& coefficients, cv::Mat& greyRow,
                cv::Mat& mask);
// The same for one row of `width` pixels; `grey` is scratch of one byte a
// pixel.
void refineRow(const uint8_t* picture, const float* coefficients, int width, uint8_t* grey,
               uint8_t* mask);
// The half-size pixels of two frame rows, each the rounded mean of a 2 x 2
// block, as downscaleHalf makes them.
void halveRows(const uint8_t* top, const uint8_t* bottom, int halfWidth, uint8_t* half);

// The background's own colours, blurred: blur(picture x w) / blur(w) with
// w = max(0, 1 - 2 p) for the person probability p (CV_32F, the picture's
// size), so colours of the person and of its soft edge spread nowhere. The
// sums are taken at half the picture's size (both sides even), blurred there
// by a box of the given radius run twice (a tent), divided, and doubled back
// into `blurred` (the picture's size). Where no background is near, the
// picture stays. The scratch is made once per picture size by makeScratch.
struct MaskedBlurScratch {
    cv::Mat weighted;  // CV_32FC4 at the picture's size: B w, G w, R w, w
    cv::Mat sums;      // CV_32FC4 at half size
    cv::Mat passed;    // CV_32FC4 at half size
    cv::Mat row;       // one row of CV_32FC4, longer than either half side
    cv::Mat small;     // the picture at half size, CV_8UC4
    cv::Mat divided;   // the blurred background at half size, CV_8UC4
    void make(cv::Size picture);
};
void maskedBlur(const cv::Mat& picture, const cv::Mat& probability, int radius,
                MaskedBlurScratch& scratch, cv::Mat& blurred);

// frame = frame x m + background x (1 - m), m = (mask + mask / 128) / 256,
// rounded; a pixel under 255 keeps its bytes exactly, one under 0 takes the
// background's.
void blendBackground(uint8_t* frame, const uint8_t* background, const uint8_t* mask, size_t pixels);
// The same with one colour (B, G, R, x) for the background.
void blendColour(uint8_t* frame, const uint8_t colour[4], const uint8_t* mask, size_t pixels);
// Every pixel the colour.
void fillColour(uint8_t* frame, const uint8_t colour[4], size_t pixels);
