#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

#include "channel/vcam_reader.h"
#include "vcam/frame_converter.h"
#include "vcam/frame_sink.h"
#include "vcam/paused_card.h"

// Reads the virtual camera channel `rate` times a second and hands every
// picture to each sink, top row first, in the format the sink takes; each
// format is converted once per picture however many sinks take it. While no
// writer runs it keeps handing over the last picture (black before the
// first), after two seconds as the paused card, so consumers never stall.
// Sinks that take only new pictures (FrameSink::takesRepeats) get each once,
// and a repeat at FrameSink::kRepeatRate while none comes.
class ReaderLoop {
public:
    static constexpr int kWidth = 640;
    static constexpr int kHeight = 480;
    static constexpr int kRate = 30;
    static constexpr int kPausedAfterMs = 2000;

    ReaderLoop(std::vector<FrameSink*> sinks, int rate = kRate);

    // Runs until `quit` becomes true (returns true) or a sink fails (false).
    bool run(const std::atomic<bool>& quit);
    // One round: poll, copy a new frame if there is one, convert, write.
    bool step();

private:
    bool copyNewFrame();
    void followWriter(bool fresh);
    const std::vector<uint8_t>& converted(OutputFormat format);

    std::vector<FrameSink*> sinks_;
    int rate_;
    VCamReader reader_;
    PausedCard pausedCard_;
    std::vector<uint8_t> picture_;  // the last channel frame, bottom row first
    std::vector<uint8_t> card_;     // picture_ as the paused card
    std::array<std::vector<uint8_t>, kOutputFormatCount> converted_;
    std::array<bool, kOutputFormatCount> current_{};  // converted_ shows the picture now shown
    uint32_t lastSequence_ = 0;
    int64_t lastFreshMs_ = 0;
    bool paused_ = false;
    int stepsWithoutNew_ = 0;  // rounds since the last new picture
};
