#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "channel/vcam_reader.h"
#include "vcam/frame_converter.h"
#include "vcam/frame_sink.h"
#include "vcam/paused_card.h"
#include "vcam/picture_mode.h"
#include "vcam/picture_scaler.h"

// Reads the virtual camera channel and hands every picture to each sink, top
// row first, in the format and at the size the sink takes; each (format,
// size) is made once per picture however many sinks take it. The pictures'
// size and rate come from the channel: when they change, the buffers are
// made anew (never per picture), every sink is told (FrameSink::follow) and
// a line on standard error says so. The picture that brings the change is
// copied in the same hold of the channel's mutex as any other, so it is
// never the one lost to the change.
// The channel is polled at twice its rate, at least `rate` times a second,
// so that no picture is missed. While no writer runs it keeps handing over
// the last picture (black before the first), after two seconds as the paused
// card, so consumers never stall.
class ReaderLoop {
public:
    // The picture before any comes, and the sinks' size when they open.
    static constexpr int kWidth = 640;
    static constexpr int kHeight = 480;
    static constexpr int kRate = 30;  // the slowest the channel is polled
    static constexpr int kPausedAfterMs = 2000;

    ReaderLoop(std::vector<FrameSink*> sinks, int rate = kRate);

    // Runs until `quit` becomes true (returns true) or a sink fails (false).
    bool run(const std::atomic<bool>& quit);
    // One round: poll, copy a new frame if there is one, convert, write.
    bool step();

    // What the channel carries now (640 x 480 at 15 before a writer is seen).
    const PictureMode& mode() const { return mode_; }
    // Rounds a second at the current rate.
    int pollRate() const;

private:
    // A picture made for sinks of one format and size.
    struct Converted {
        PictureShape shape;
        bool current = false;  // shows the picture now shown
        PictureScaler scaler;  // used when size is not the channel's
        std::vector<uint8_t> scaled;
        std::vector<uint8_t> bytes;
    };

    // Copies a new picture of the channel; true when one came.
    bool copyNewFrame();
    void adopt(const PictureMode& mode);
    void followWriter(bool fresh);
    bool due(const FrameSink& sink, bool fresh) const;
    const std::vector<uint8_t>& converted(const PictureShape& shape);
    Converted& entryFor(const PictureShape& shape);
    void forgetUnused();
    const uint8_t* shown() const { return paused_ ? card_.data() : picture_.get(); }

    std::vector<FrameSink*> sinks_;
    int rate_;
    VCamReader reader_;
    PausedCard pausedCard_;
    PictureMode mode_;
    // The last channel frame, bottom row first, of mode_'s size. Room for the
    // largest the channel carries is made once, so that a picture of any size
    // is copied under the channel's mutex with no allocation and no clearing;
    // pages are only taken up as a larger size is used.
    std::unique_ptr<uint8_t[]> picture_;
    std::vector<uint8_t> card_;  // picture_ as the paused card
    std::vector<Converted> converted_;
    uint32_t lastSequence_ = 0;
    int64_t lastFreshMs_ = 0;
    bool paused_ = false;
    bool started_ = false;     // the first round writes to every sink
    int stepsWithoutNew_ = 0;  // rounds since the last new picture
};
