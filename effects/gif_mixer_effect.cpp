#include "effects/gif_mixer_effect.h"

#include "libs/overlay/pic_effect32.h"

GifMixerEffect::GifMixerEffect(const std::wstring& path)
    : VideoEffect(EFFECT_ORDER_DEFAULT), path_(path) {}

GifMixerEffect::~GifMixerEffect() = default;

void GifMixerEffect::Process(uint8_t* data, size_t size, int32_t width, int32_t height) {
    if (!picture_) {
        picture_ = std::make_unique<PicEffect32>(path_.c_str(), width, height);
        passSettings();
    }
    picture_->process(reinterpret_cast<char*>(data), static_cast<int>(size));
}

void GifMixerEffect::setMethod(int method) {
    method_ = method;
    passSettings();
}

void GifMixerEffect::setSpeed(float speed) {
    speed_ = speed;
    passSettings();
}

void GifMixerEffect::passSettings() {
    if (picture_) {
        picture_->setMethod(method_);
        picture_->setSpeed(speed_);
    }
}
