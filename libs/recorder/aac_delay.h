#pragma once

#include <gst/gst.h>

// voaacenc keeps 1,600 samples in hand and stamps each block with the time
// of the sound that went in, not of the sound it holds: decoded, every
// sound comes that long after its own time stamp (measured by decoding a
// click at 48 and at 44.1 kHz). Its first block holds only that lead-in.
constexpr guint64 kAacDelayFrames = 1600;

// How long after its stamped time the encoder's sound is heard, at its rate.
constexpr GstClockTime aacSoundLag(int sampleRate) {
    return kAacDelayFrames * GST_SECOND / static_cast<guint64>(sampleRate);
}

// Leaves out, on `pad` (after the AAC encoder), the blocks that hold only
// the encoder's lead-in: those that end within `lag` of the first block's
// time, before any sound that went in can be heard.
void leaveOutAacLeadIn(GstPad* pad, GstClockTime lag);
