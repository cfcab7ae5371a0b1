#pragma once

#include <gst/gst.h>

// Decoding threads for the file player's video decoders. FFmpeg's decoders
// start one thread per core plus one by default; for pictures up to 1080p one
// thread keeps up several times over and costs a fifth less CPU, because frame
// threading pays for its hand-overs. Larger pictures keep the default.
//
// Call on every element a player sets up; elements that are not FFmpeg video
// decoders are left alone. The choice is made from the stream's caps just
// before the decoder opens its codec.
void limitDecoderThreads(GstElement* element);

// The thread count for a picture of width x height: 1, or 0 for the decoder's
// own choice.
int decoderThreadsFor(int width, int height);
