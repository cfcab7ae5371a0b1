#include "effects/gif_mixer_effect.h"

#include "libs/overlay/pic_effect32.h"

// The GIF is decoded here, when the pendant is chosen, so that the graph's
// worker never waits for a decode at the pendant's first frame.
GifMixerEffect::GifMixerEffect(const std::wstring& path, int32_t width, int32_t height)
    : VideoEffect(EFFECT_ORDER_DEFAULT),
      picture_(std::make_unique<PicEffect32>(path.c_str(), width, height)),
      path_(path) {
    SetPictureSize(width, height);
    passSettings();
}

GifMixerEffect::~GifMixerEffect() = default;

void GifMixerEffect::Process(uint8_t* data, size_t size, int32_t width, int32_t height) {
    if (width != Width() || height != Height()) {
        return;  // decoded for the graph's picture size only
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
