#pragma once

#include "libs/recorder/live_encoder.h"
#include "tests/support/flash_and_click.h"

// The live encoders' settings for handFlashes' pictures and a
// ClickingMicrophone's sound: the plan's size and rate, stereo 16-bit sound
// at 48 kHz in blocks of kFlashBlockFrames, as a stream takes it.
constexpr int kFlashSampleRate = 48000;
constexpr int kFlashChannels = 2;
constexpr int kFlashBlockFrames = 1024;

inline LiveSettings flashLiveSettings(const FlashPlan& plan) {
    LiveSettings settings;
    settings.width = plan.width;
    settings.height = plan.height;
    settings.frameRate = plan.frameRate;
    settings.sampleRate = kFlashSampleRate;
    settings.channels = kFlashChannels;
    settings.soundBlock = kFlashBlockFrames * kFlashChannels * 2;
    return settings;
}
