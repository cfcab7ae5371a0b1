#pragma once

#include <QImage>

#include <opencv2/core.hpp>

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "effects/mask_refiner.h"
#include "effects/segmentation_worker.h"
#include "engine/video_effect.h"

// What the background effect does with what is not the person.
enum class BackgroundMode {
    Off,      // 关闭: frames pass unchanged
    Blur,     // 背景虚化
    Picture,  // 背景替换 with a picture
    Colour,   // 背景替换 with a plain colour
};

// The three blur strengths of 背景虚化.
enum class BlurStrength { Light, Medium, Strong };

// The radius of the blur's box, in pixels of the eighth-size picture the
// blur runs on (the box runs twice: a tent about twice as wide); eight times
// that in pixels of the frame.
int backgroundBlurRadius(BlurStrength strength);

// Keeps the person and blurs or replaces the rest of each frame.
//
// A SegmentationWorker runs the person segmentation network on its own
// thread; Process never waits for it. Every other frame and five times a
// second at most, Process offers the worker a half-size copy (only a try of
// the hand-over lock) and uses the newest mask it has; until the first one
// arrives, frames pass unchanged. After a pause (off, or a new frame size)
// the masks from before are dropped and the worker's running mask restarts,
// so somebody who moved meanwhile is not cut out where they were. The
// worker's mask comes with a guided filter's coefficients at a quarter of
// the frame's size; a MaskRefiner applies them to this frame's own grey
// picture where the person's edge is (so the mask follows the edge in this
// frame) and fills the rest, then the frame is blended.
//
// Blur takes only background pixels: blur(picture x bg) / blur(bg) at an
// eighth of the frame's size, bg a weight that is 0 on the person and its
// soft edge, so no halo of the person's colours spreads around them. The
// worker makes it with each mask, from the picture the mask was made of, at
// the frame's size; until the first one with the mask, frames pass
// unchanged. A replacement picture is scaled to cover the frame with its
// proportions kept and cropped in the middle (no bars); it is fitted once
// per picture and frame size.
//
// Frames must have sides divisible by eight (every output mode's are);
// others pass unchanged. The buffers are made once per frame size; a steady
// size allocates nothing on the frame thread.
//
// When the network cannot be loaded the effect is inert: it says why once
// through debugLog, and modelProblem() gives the reason for the user
// interface.
//
// Threads: the setters and queries come from the user-interface thread,
// Process from the graph's worker. lock_ guards the settings and the frame
// thread's buffers against a running Process; the worker has its own
// hand-over lock, never held while the network runs.
class BackgroundEffect : public VideoEffect {
public:
    explicit BackgroundEffect(const SegmentationModel& model);
    ~BackgroundEffect() override;

    void setMode(BackgroundMode mode);
    void setBlurStrength(BlurStrength strength);
    // The picture for BackgroundMode::Picture: BGR, BGRA or grey, top row
    // first; QImage of any format. A null picture leaves frames unchanged in
    // that mode.
    void setPicture(const cv::Mat& picture);
    void setPicture(const QImage& picture);
    void setColour(uint8_t red, uint8_t green, uint8_t blue);

    BackgroundMode mode() const;
    BlurStrength blurStrength() const;

    // True when the network loaded; otherwise modelProblem() says why.
    bool modelLoaded() const { return problem_.empty(); }
    const std::string& modelProblem() const { return problem_; }

    // How many masks the worker has published so far.
    uint64_t masksPublished() const;

    // The mask the last changed frame was blended with (CV_8UC1, the
    // frame's size, 255 = person, memory rows bottom first), made on asking;
    // empty before the first.
    cv::Mat lastMask();

    void Process(uint8_t* data, size_t size, int32_t width, int32_t height) override;

private:
    // Makes the frame thread's buffers for frames of this size.
    void makeBuffers(int32_t width, int32_t height);
    // Scales and crops the picture to the frame's size, bottom row first.
    void fitPicture();
    // Offers the worker this frame when one is due.
    void offerIfDue(const cv::Mat& frame);
    // The background to blend with in mode_, the frame's size; null when
    // there is none yet (or for a plain colour).
    const uint8_t* backgroundPixels();
    // Blends the frame with the background (null: the colour) by the
    // refiner's runs.
    void composite(uint8_t* data, const uint8_t* background);

    std::string problem_;
    std::unique_ptr<SegmentationWorker> worker_;

    mutable std::mutex lock_;  // settings and frame buffers against a running Process
    BackgroundMode mode_ = BackgroundMode::Off;
    BlurStrength strength_ = BlurStrength::Medium;
    uint8_t colour_[4] = {0, 0, 0, 255};
    cv::Mat picture_;  // the caller's picture, BGRA, top row first
    cv::Mat fitted_;   // the picture covering the frame, BGRx, bottom row first
    bool fittedValid_ = false;

    cv::Size frameSize_;
    // Offers are at least two frames and kOfferInterval apart: five masks a
    // second follow a person well enough, and each costs the worker about
    // 7 ms of a core (more with OpenCV's threads).
    static constexpr std::chrono::milliseconds kOfferInterval{190};
    std::chrono::steady_clock::time_point lastOffer_{};
    int framesSinceOffer_ = 0;
    // After a pause (off, or no frames of this size yet) the masks from
    // before are not used: the next offer restarts the worker's running mask
    // and only masks from that step on count.
    bool restartDue_ = true;
    uint64_t firstFreshMask_ = UINT64_MAX;
    bool blended_ = false;
    SegmentationMask mask_;
    int offeredRadius_ = 0;  // the blur radius of the last offer taken
    cv::Mat half_;           // the frame at half size, BGRx, for the offers
    MaskRefiner refiner_;
};
