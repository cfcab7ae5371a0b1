#pragma once

#include <gst/gst.h>

// How the file player's FFmpeg video decoders run.
//
// Threads: FFmpeg's decoders start one thread per core plus one by default;
// for pictures up to 1080p one thread keeps up several times over and costs a
// fifth less CPU, because frame threading pays for its hand-overs. Larger
// pictures keep the default. The choice is made from the stream's caps just
// before the decoder opens its codec.
//
// Pictures: with direct rendering FFmpeg decodes into GStreamer's buffers
// and keeps them as reference pictures, so the base decoder, finding each
// one shared, copies it into a freshly allocated buffer to hand it on: a
// picture-sized allocation per frame. Without it the decoder copies each
// picture once into a buffer of its pool, which is reused.
//
// Call on every element a player sets up; elements that are not FFmpeg video
// decoders are left alone.
void setUpFileDecoder(GstElement* element);

// The thread count for a picture of width x height: 1, or 0 for the decoder's
// own choice.
int decoderThreadsFor(int width, int height);
