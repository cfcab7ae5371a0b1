#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "base/stream_copy.h"

// Every length round the 32-byte alignment and the 128-byte steps, from
// every kind of misaligned source to every kind of misaligned destination:
// the bytes arrive exactly and nothing around them is touched.
TEST(StreamCopyTest, CopiesEveryByteAndNothingAroundThemWhateverTheAlignment) {
    std::mt19937 random(42);
    const std::vector<size_t> lengths = {0, 1, 31, 32, 33, 127, 128, 129, 160, 1000, 921'607};
    constexpr size_t kGuard = 64;
    int wrong = 0;
    for (size_t length : lengths) {
        for (size_t fromOffset : {0, 1, 17}) {
            for (size_t toOffset : {0, 1, 3, 31}) {
                std::vector<uint8_t> from(length + fromOffset);
                for (auto& byte : from) {
                    byte = static_cast<uint8_t>(random());
                }
                std::vector<uint8_t> to(length + toOffset + 2 * kGuard, 0xA5);
                copyPastCache(to.data() + kGuard + toOffset, from.data() + fromOffset, length);
                for (size_t i = 0; i < to.size(); ++i) {
                    bool inside = i >= kGuard + toOffset && i < kGuard + toOffset + length;
                    uint8_t expected = inside ? from[fromOffset + i - kGuard - toOffset] : 0xA5;
                    wrong += to[i] != expected;
                }
            }
        }
    }
    EXPECT_EQ(wrong, 0);
}
