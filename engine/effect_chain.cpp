#include "engine/effect_chain.h"

#include <algorithm>

#include "base/scoped_lock.h"
#include "engine/video_effect.h"
#include "engine/video_source.h"

EffectChain::EffectChain() { effects_.reserve(8); }

void EffectChain::Add(VideoEffect* effect) {
    if (effect == nullptr) {
        return;
    }
    ScopedLock guard(lock_);
    if (std::find(effects_.begin(), effects_.end(), effect) != effects_.end()) {
        return;
    }
    effects_.push_back(effect);
    std::sort(effects_.begin(), effects_.end(),
              [](const VideoEffect* a, const VideoEffect* b) { return a->Order() < b->Order(); });
}

void EffectChain::Remove(VideoEffect* effect) {
    ScopedLock guard(lock_);
    std::erase(effects_, effect);
}

void EffectChain::Apply(uint8_t* data, size_t size, int32_t width, int32_t height,
                        int32_t sourceTypeId) {
    ScopedLock guard(lock_);
    for (VideoEffect* effect : effects_) {
        if (runsOn(effect->Order(), sourceTypeId)) {
            effect->Process(data, size, width, height);
        }
    }
}

bool EffectChain::runsOn(int32_t order, int32_t sourceTypeId) {
    switch (order) {
        case EFFECT_ORDER_SKIN_COLOR:
            return sourceTypeId == SOURCE_TYPE_CAMERA;
        case EFFECT_ORDER_BACKGROUND:
            // Pictures are the placeholder's card and the slideshow: neither
            // has a person in front of a background, and blurring the card
            // would hide what it says.
            return sourceTypeId != SOURCE_TYPE_PICTURE;
        default:
            return true;
    }
}

std::vector<VideoEffect*> EffectChain::Effects() const {
    ScopedLock guard(lock_);
    return effects_;
}

size_t EffectChain::Count() const {
    ScopedLock guard(lock_);
    return effects_.size();
}
