#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// A checksum of a picture's bytes, for comparing what a reader saw with
// what the writer wrote.
uint64_t pictureChecksum(const uint8_t* bytes, size_t size);

// For a reader in a forked child: polls the virtual camera channel until it
// has seen `count` new pictures or ten seconds passed, and writes a line per
// picture to `out`: "<sequence> <width>x<height>@<rate> <checksum>". The
// child's exit code: 0 when every picture came.
int reportNewPictures(int out, uint32_t count);
