#pragma once

#include <cstddef>
#include <cstdint>

// The beautify filter's per-pixel work on 32-bit pixels (B, G, R, x in
// memory), fused into single passes. Each gives exactly the bytes of the
// equivalent OpenCV steps on 8-bit images, whose integer definitions it
// writes out:
//
//   curve:  BGRA -> BGR -> YUV, Y replaced by curve[Y], YUV -> BGR -> BGRA
//           (the fourth byte becomes 255);
//   add:    per channel saturating addition of (b, g, r, 0);
//   blend:  per channel round(value * pictureWeight + colour * colourWeight)
//           in single precision, saturated, with colour (b, g, r, 0); the
//           weights must keep every result below 2^22 (they are below 2).
//
// The loops are plain 32-bit lane arithmetic so the compiler vectorises them;
// they are built for AVX2 as well as the baseline and chosen at run time.
// The curve is given as 256 entries of 32 bits (values 0..255): the processor
// looks such tables up many lanes at a time.
void applySkinCurve(uint32_t* pixels, size_t count, const int32_t* curve);
// The curve and then the blend (the preset that does both), fused into one
// pass where the processor has AVX2.
void applySkinCurveAndBlend(uint32_t* pixels, size_t count, const int32_t* curve, uint8_t blue,
                            uint8_t green, uint8_t red, float pictureWeight, float colourWeight);
// The portable pass that applySkinCurve uses where the processor lacks AVX2.
void applySkinCurvePortable(uint32_t* pixels, size_t count, const int32_t* curve);
void addSkinColour(uint32_t* pixels, size_t count, uint8_t blue, uint8_t green, uint8_t red);
void blendSkinColour(uint32_t* pixels, size_t count, uint8_t blue, uint8_t green, uint8_t red,
                     float pictureWeight, float colourWeight);
