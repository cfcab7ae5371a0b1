#pragma once

#include <string>

// What an FLV file made from the live encoders' output at 640 x 480, 15
// fps with 48 kHz stereo sound must be, read back by ffprobe: exactly
// `pictures` H.264 pictures, the first a key frame at 0 and their times
// rising, AAC from the start to the end, the stated rate "15/1", and every
// tag whole. Reports through gtest.
void expectWholeEncodedFlv(const std::string& file, int pictures);
