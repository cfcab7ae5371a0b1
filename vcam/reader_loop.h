#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "outputs/vcam_channel/vcam_reader.h"
#include "vcam/frame_converter.h"
#include "vcam/frame_sink.h"

// Reads the virtual camera channel 30 times a second and hands every picture
// to a sink, top row first, in the chosen format. While no writer runs it
// keeps handing over the last picture (black before the first), so consumers
// never stall.
class ReaderLoop {
public:
    static constexpr int kWidth = 640;
    static constexpr int kHeight = 480;
    static constexpr int kRate = 30;

    ReaderLoop(FrameSink& sink, OutputFormat format);

    // Runs until `quit` becomes true (returns true) or the sink fails (false).
    bool run(const std::atomic<bool>& quit);
    // One round: poll, copy a new frame if there is one, convert, write.
    bool step();

    uint32_t lastSequence() const { return lastSequence_; }

private:
    bool copyNewFrame();

    FrameSink& sink_;
    OutputFormat format_;
    VCamReader reader_;
    std::vector<uint8_t> picture_;    // the last channel frame, bottom row first
    std::vector<uint8_t> converted_;  // picture_ in the output format
    uint32_t lastSequence_ = 0;
};
