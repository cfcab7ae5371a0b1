#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The pieces of an FLV file carrying H.264 and AAC, appended to a byte
// buffer: the file header, the onMetaData script tag, and the tags of
// pictures and sound, each followed by its PreviousTagSize. Times are in
// milliseconds from the file's start; pictures have no composition offset
// (no B-frames).
//
// The tags are appended only when they fit in the buffer's capacity (the
// functions say whether they did), so that a buffer reserved once is never
// reallocated; the header, written before anything else, may grow it. A tag
// may also be written into memory of its own, sized by pictureTagBytes or
// soundTagBytes (a buffer handed on whole, one tag each).
namespace flv {

enum class Payload { kSequenceHeader, kData };

// A time in nanoseconds as a tag's milliseconds, to the nearest.
uint32_t milliseconds(uint64_t nanoseconds);

// The FLV header with its flags and the PreviousTagSize 0 that follows it.
void appendHeader(std::vector<uint8_t>& out, bool sound);
// Bytes a picture's or a block of sound's tag takes, from its payload.
size_t pictureTagBytes(size_t payload);
size_t soundTagBytes(size_t payload);
// onMetaData: the picture's size and rate and the codecs, as players read
// them before the first picture.
bool appendMetadata(std::vector<uint8_t>& out, int width, int height, double frameRate, bool sound);
// A picture: the avcC record (kSequenceHeader) or one access unit of
// length-prefixed NAL units (kData).
bool appendPicture(std::vector<uint8_t>& out, uint32_t ms, bool key, Payload kind,
                   const uint8_t* data, size_t size);
// Sound: the AudioSpecificConfig (kSequenceHeader) or one raw AAC block.
bool appendSound(std::vector<uint8_t>& out, uint32_t ms, Payload kind, const uint8_t* data,
                 size_t size);
// The same tags, written at `out`, which holds pictureTagBytes(size) or
// soundTagBytes(size) bytes.
void writePicture(uint8_t* out, uint32_t ms, bool key, Payload kind, const uint8_t* data,
                  size_t size);
void writeSound(uint8_t* out, uint32_t ms, Payload kind, const uint8_t* data, size_t size);

}  // namespace flv
