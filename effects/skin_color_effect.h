#pragma once

#include <cstdint>
#include <mutex>

#include "engine/video_effect.h"

// One beautify setting: a brightening curve on the luma (used when gamma > 0,
// with exponent 1 / gamma) and a colour step: add the colour (blendMode 0),
// nothing (1), or blend picture and colour by their weights (2).
struct SkinColorParam {
    float gamma = 0.0f;
    int32_t blendMode = 0;
    float colourWeight = 0.0f;
    float pictureWeight = 1.0f;
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;
};

// The setting of preset `index` (0..9, the effect panel's order); any other
// index gives the default record, which leaves pictures unchanged.
SkinColorParam skinColorPreset(int index);

// The 256-entry luma curve for gamma > 0, computed in single precision:
// entry i = min(255, (i / 256)^(1 / gamma) * 256), truncated.
void buildSkinCurve(float gamma, uint8_t table[256]);

// The beautify effect: applies a preset to every camera picture in place. Its
// order is EFFECT_ORDER_SKIN_COLOR, so the graph runs it on camera pictures
// only. Until a setting is given it leaves frames alone.
//
// Threads: setPreset and setParams come from the user-interface thread,
// Process from the graph's worker; one lock makes each change atomic with
// respect to a frame. The curve is rebuilt lazily, inside Process.
class SkinColorEffect : public VideoEffect {
public:
    SkinColorEffect();

    void setPreset(int index);
    void setParams(const SkinColorParam& params);
    int preset() const;
    SkinColorParam params() const;

    void Process(uint8_t* data, size_t size, int32_t width, int32_t height) override;

private:
    mutable std::mutex lock_;  // guards everything below against a running Process
    SkinColorParam params_;
    int preset_ = -1;
    bool configured_ = false;
    bool curveValid_ = true;
    int32_t curve_[256] = {};
};
