#include "base/stream_copy.h"

#include <immintrin.h>

#include <cstdint>
#include <cstring>

namespace {
constexpr size_t kStep = 128;  // four 32-byte stores a round

__attribute__((target("avx2"))) void streamAvx2(uint8_t* to, const uint8_t* from, size_t length) {
    // Streaming stores need 32-byte aligned destinations: the bytes up to
    // the first boundary and those after the last whole step go by memcpy.
    size_t head = (32 - (reinterpret_cast<uintptr_t>(to) & 31)) & 31;
    head = head < length ? head : length;
    std::memcpy(to, from, head);
    size_t at = head;
    for (; at + kStep <= length; at += kStep) {
        for (size_t lane = 0; lane < kStep; lane += 32) {
            __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from + at + lane));
            _mm256_stream_si256(reinterpret_cast<__m256i*>(to + at + lane), bytes);
        }
    }
    // Streaming stores are weakly ordered: fenced before the caller lets a
    // reader at the bytes (the channel's mutex is released after this).
    _mm_sfence();
    std::memcpy(to + at, from + at, length - at);
}
}  // namespace

void copyPastCache(void* to, const void* from, size_t length) {
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2) {
        streamAvx2(static_cast<uint8_t*>(to), static_cast<const uint8_t*>(from), length);
    } else {
        std::memcpy(to, from, length);
    }
}
