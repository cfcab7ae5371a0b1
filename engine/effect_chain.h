#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "base/video_frame.h"

class VideoEffect;

// A list of effects kept sorted by their order key, applied to a frame in that
// order. The chain holds pointers only: an owner removes its effect before
// deleting it.
//
// Threads: Add and Remove come from the user-interface thread; Apply runs on
// the thread that composes frames. The lock is held across all Process calls,
// so Remove returns only once no effect of the chain is running.
class EffectChain {
public:
    EffectChain();
    EffectChain(const EffectChain&) = delete;
    EffectChain& operator=(const EffectChain&) = delete;

    void Add(VideoEffect* effect);
    void Remove(VideoEffect* effect);
    // Runs every effect over a picture of width x height; an effect of order
    // EFFECT_ORDER_SKIN_COLOR runs only when sourceTypeId is SOURCE_TYPE_CAMERA,
    // one of EFFECT_ORDER_BACKGROUND only when it is not SOURCE_TYPE_PICTURE.
    void Apply(uint8_t* data, size_t size, int32_t width, int32_t height, int32_t sourceTypeId);
    // The same for a picture of the standard 640 x 480.
    void Apply(uint8_t* data, size_t size, int32_t sourceTypeId) {
        Apply(data, size, VideoFrame::kWidth, VideoFrame::kHeight, sourceTypeId);
    }

    size_t Count() const;
    // A copy of the chain in running order, for panels and tests.
    std::vector<VideoEffect*> Effects() const;

private:
    // Whether an effect of that order runs on pictures of that source type.
    static bool runsOn(int32_t order, int32_t sourceTypeId);

    mutable std::mutex lock_;  // guards effects_, and is held while they run
    std::vector<VideoEffect*> effects_;
};
