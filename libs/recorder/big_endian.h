#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The network byte order of FLV and RTMP: numbers of 1 to 8 bytes, most
// significant first.

// `bytes` bytes at `at` as a number; the caller has checked they are there.
inline uint64_t readBigEndian(const uint8_t* at, int bytes) {
    uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) {
        value = value << 8 | at[i];
    }
    return value;
}

// `value`'s low `bytes` bytes written at `at`; just past them.
inline uint8_t* putBigEndian(uint8_t* at, uint64_t value, int bytes) {
    for (int shift = (bytes - 1) * 8; shift >= 0; shift -= 8) {
        *at++ = static_cast<uint8_t>(value >> shift);
    }
    return at;
}

// The same, appended to `out`.
inline void appendBigEndian(std::vector<uint8_t>& out, uint64_t value, int bytes) {
    const size_t at = out.size();
    out.resize(at + static_cast<size_t>(bytes));
    putBigEndian(out.data() + at, value, bytes);
}
