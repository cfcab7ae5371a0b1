#pragma once

#include <cstdint>
#include <string>

#include "base/output_mode.h"
#include "engine/video_effect.h"
#include "engine/video_source.h"

// What the going-live benches stream: a black picture of the mode with a
// white ball moving over it, so the encoders have a picture that changes
// every tick, and the process's own memory figures.

// A black still picture of the mode, always running.
class BlackSource : public VideoSource {
public:
    explicit BlackSource(const OutputMode& mode);
    int32_t Start() override { return 0; }
    void Stop() override {}
    bool IsRunning() override { return true; }
};

// Clears the picture and draws the ball where this tick puts it, scaled to
// the picture; numbered, it also draws the picture's number, from 1, in the
// band FrameNumberBand reads.
class MovingBall : public VideoEffect {
public:
    explicit MovingBall(bool numbered = false) : numbered_(numbered) {}
    void Process(uint8_t* data, size_t size, int32_t width, int32_t height) override;

private:
    const bool numbered_;
    int tick_ = 0;  // only the graph's worker moves the ball
};

// A field of /proc/PID/status in kB ("VmHWM", "RssAnon"); 0 when absent.
long statusKb(const std::string& pid, const std::string& field);
