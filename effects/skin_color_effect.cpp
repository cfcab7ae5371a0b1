#include "effects/skin_color_effect.h"

#include <cmath>

#include "base/scoped_lock.h"
#include "effects/skin_color_pass.h"

namespace {
struct PresetRow {
    float gamma;
    int32_t blendMode;
    uint8_t red, green, blue;
    float pictureWeight, colourWeight;
};

constexpr PresetRow kPresets[] = {
    {1.95f, 0, 0, 0, 0, 1.0f, 0.0f},          // 自然美白
    {2.4f, 0, 0, 0, 0, 1.0f, 0.0f},           // 深度美白
    {1.45f, 2, 255, 181, 164, 0.96f, 0.28f},  // 自然美肤
    {0.0f, 0, 39, 38, 0, 1.0f, 0.0f},         // 唯美
    {0.0f, 0, 0, 40, 0, 1.0f, 0.0f},          // 清新
    {0.0f, 0, 55, 55, 55, 1.0f, 0.0f},        // 亮度提升
    {0.0f, 0, 0, 0, 40, 1.0f, 0.0f},          // 妖姬
    {0.0f, 0, 40, 0, 0, 1.0f, 0.0f},          // 暧昧
    {0.0f, 0, 25, 0, 26, 1.0f, 0.0f},         // 魅惑
    {0.0f, 0, 0, 66, 55, 1.0f, 0.0f},         // (no panel item)
};
}  // namespace

SkinColorParam skinColorPreset(int index) {
    SkinColorParam params;
    if (index < 0 || index >= static_cast<int>(std::size(kPresets))) {
        return params;
    }
    const PresetRow& row = kPresets[index];
    params.gamma = row.gamma;
    params.blendMode = row.blendMode;
    params.red = row.red;
    params.green = row.green;
    params.blue = row.blue;
    params.pictureWeight = row.pictureWeight;
    params.colourWeight = row.colourWeight;
    return params;
}

void buildSkinCurve(float gamma, uint8_t table[256]) {
    const float exponent = 1.0f / gamma;
    for (int i = 0; i < 256; ++i) {
        float x = static_cast<float>(i) * (1.0f / 256.0f);
        float value = std::pow(x, exponent) * 256.0f;
        value = value < 0.0f ? 0.0f : (value > 255.0f ? 255.0f : value);
        table[i] = static_cast<uint8_t>(value);
    }
}

SkinColorEffect::SkinColorEffect() : VideoEffect(EFFECT_ORDER_SKIN_COLOR) {}

void SkinColorEffect::setPreset(int index) {
    SkinColorParam params = skinColorPreset(index);
    {
        ScopedLock guard(lock_);
        preset_ = index;
    }
    setParams(params);
}

void SkinColorEffect::setParams(const SkinColorParam& params) {
    ScopedLock guard(lock_);
    params_ = params;
    curveValid_ = false;
    configured_ = true;
}

int SkinColorEffect::preset() const {
    ScopedLock guard(lock_);
    return preset_;
}

SkinColorParam SkinColorEffect::params() const {
    ScopedLock guard(lock_);
    return params_;
}

void SkinColorEffect::Process(uint8_t* data, size_t size, int32_t width, int32_t height) {
    // Every pixel is treated alike, so the picture's own size is all it needs.
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    ScopedLock guard(lock_);
    if (!configured_ || size < count * 4) {
        return;
    }
    auto* pixels = reinterpret_cast<uint32_t*>(data);
    if (params_.gamma > 0.0f) {
        if (!curveValid_) {
            uint8_t table[256];
            buildSkinCurve(params_.gamma, table);
            for (int i = 0; i < 256; ++i) {
                curve_[i] = table[i];
            }
            curveValid_ = true;
        }
        if (params_.blendMode == 2) {
            applySkinCurveAndBlend(pixels, count, curve_, params_.blue, params_.green, params_.red,
                                   params_.pictureWeight, params_.colourWeight);
            return;
        }
        applySkinCurve(pixels, count, curve_);
    }
    bool hasColour = (params_.red | params_.green | params_.blue) != 0;
    if (params_.blendMode == 0 && hasColour) {  // adding zero changes nothing
        addSkinColour(pixels, count, params_.blue, params_.green, params_.red);
    } else if (params_.blendMode == 2) {
        blendSkinColour(pixels, count, params_.blue, params_.green, params_.red,
                        params_.pictureWeight, params_.colourWeight);
    }
}
