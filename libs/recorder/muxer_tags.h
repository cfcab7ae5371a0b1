#pragma once

#include <gst/gst.h>

// Stream tags (encoder names and the like) that reach an FLV muxer after the
// start make it write a second script tag mid-stream, which players take for
// a subtitle stream; neither a file nor a live stream needs them. Drops them
// at every sink pad of the element named "mux" in `pipeline`.
void dropTagsIntoMuxer(GstElement* pipeline);
