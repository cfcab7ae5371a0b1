#pragma once

#include <opencv2/core.hpp>
#include <opencv2/dnn.hpp>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "effects/background_passes.h"
#include "effects/cell_runs.h"

// A person segmentation network in ONNX form: input [1, 3, height, width],
// RGB in [0, 1]; output [1, 1, height, width], the probability of a person.
struct SegmentationModel {
    std::string path;
    int width = 256;
    int height = 256;
};

// What the worker publishes for one picture. Every map but `background` has
// the guide size (half the offered picture's size); all have memory rows
// bottom first, like the frames.
struct SegmentationMask {
    // The person probability in [0, 1], smoothed in time (CV_32F).
    cv::Mat probability;
    // The guided filter's mean coefficients (a, b) (CV_32FC2): the refined
    // mask at a pixel is a * grey + b, grey in [0, 1], for the picture the
    // maps are scaled up to.
    cv::Mat coefficients;
    // Where the refinement can be spared, as runs of cells per row (a cell
    // is a pixel of `coefficients`): a person (background) cell refines to
    // 255 (0) at every pixel of the frame it covers, whatever the frame
    // shows, so nothing needs working out there; the refined runs are the
    // cells whose refined half-size mask the edge cells near them read.
    CellRuns runs;
    // With a blur asked for in the offer: the picture's background blurred
    // (see maskedBlur) at twice the offered picture's size, BGRx, memory rows
    // bottom first; empty otherwise.
    cv::Mat background;
    int blurRadius = 0;  // the radius `background` was blurred with
    // The size of the offered picture the mask belongs to.
    cv::Size pictureSize;
    // 1 for the first mask published, one more for each after it.
    uint64_t sequence = 0;
};

// Runs the segmentation network on its own thread. The frame thread offers a
// downscaled copy of a frame (BGRx, bottom row first) and takes the newest
// mask; neither call waits for the network: each only tries the hand-over
// lock, and the worker holds that lock for a copy in and a swap out, never
// while the network runs.
//
// Each step runs the network on the offered picture, scales its output to
// the guide size, mixes it into the running mask (an exponential moving
// average, so edges do not flicker from frame to frame) and works out the
// coefficients of a guided filter with the picture's grey as guide, so that
// the mask follows the picture's edges when it is scaled up.
class SegmentationWorker {
public:
    SegmentationWorker();
    ~SegmentationWorker();
    SegmentationWorker(const SegmentationWorker&) = delete;
    SegmentationWorker& operator=(const SegmentationWorker&) = delete;

    // Loads the network, checks that it maps an input of its size to an
    // output of that size, and starts the thread. False, with the reason in
    // *problem, when the file cannot be read or is not such a network; the
    // worker then stays stopped. Call once, before any offer.
    bool start(const SegmentationModel& model, std::string* problem);

    // Frame thread: copies `picture` (BGRx, bottom row first, both sides
    // even and at least 8) in for the next step when the worker is idle and
    // the lock is free; false when it is busy, stopped or the lock is taken.
    // With `restart` the step forgets the running mask (after a pause, when
    // the old one may show somebody who has moved). When it is taken and
    // `sequence` is given, *sequence is the number the step's mask will have.
    // A `blurRadius` above 0 asks for the blurred background with the mask.
    bool offer(const cv::Mat& picture, bool restart = false, uint64_t* sequence = nullptr,
               int blurRadius = 0);

    // Frame thread: swaps the newest mask into *mask when it is newer than
    // the one there and the lock is free. The buffers swapped out are used
    // again, so a steady picture size allocates nothing.
    bool takeNewest(SegmentationMask* mask);

    // How many masks were published (any thread).
    uint64_t published() const { return published_.load(); }
    // The milliseconds the last step took (any thread).
    double lastStepMilliseconds() const { return lastStepMs_.load(); }

    // The smoothing weight of a new network output, in (0, 1]; 1 keeps no
    // history. Set before start.
    void setSmoothing(float newWeight) { smoothing_ = newWeight; }

private:
    // Loads a network and checks its shape; empty with the reason in
    // *problem when it cannot be used.
    static cv::dnn::Net load(const SegmentationModel& model, std::string* problem);
    void run();
    void step();
    // working_.runs from its coefficients, through regions_.
    void markRegions();
    // working_.background from picture_ and running_.
    void blurBackground();

    cv::dnn::Net net_;
    SegmentationModel model_;
    float smoothing_ = 0.5f;

    // The hand-over between the frame thread and the worker: the offered
    // picture, the published mask and the flags that go with them. Never
    // held while the network runs.
    std::mutex handOver_;
    std::condition_variable wake_;
    cv::Mat offered_;
    bool hasOffer_ = false;
    bool restartOffered_ = false;
    int blurOffered_ = 0;
    bool busy_ = false;
    bool stopping_ = false;
    SegmentationMask ready_;

    // The worker thread's own state.
    SegmentationMask working_;
    cv::Mat running_;       // the smoothed probability, CV_32F at guide size
    bool restart_ = false;  // the step forgets running_
    int blurRadius_ = 0;    // the step blurs the background with this radius
    cv::Mat picture_;       // the picture of the step, copied out of offered_
    cv::Mat scratchRgb_, scratchSmall_, scratchGrey_, scratchGuide_, scratchProb_;
    cv::Mat regions_;  // the SegmentationRegion bits of each cell
    cv::Mat quarterBlur_, halfBlur_;
    MaskedBlurScratch blurScratch_;

    std::atomic<uint64_t> published_{0};
    std::atomic<double> lastStepMs_{0.0};
    std::thread thread_;
};
