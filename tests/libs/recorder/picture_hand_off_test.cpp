#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "libs/recorder/picture_hand_off.h"
#include "tests/support/eventually.h"

// The recorder's hand-off with real pictures: what the graph's worker hands
// over arrives upright, whole and in order on the hand-off's thread, and a
// consumer that falls behind costs the maker a left-out picture, never a
// wait.

namespace {
using namespace std::chrono_literals;
constexpr int kWidth = 8, kHeight = 6;

// A bottom-row-first picture whose every byte says its picture and row.
std::vector<uint8_t> picture(int number) {
    std::vector<uint8_t> bytes(kWidth * kHeight * 3);
    for (int memoryRow = 0; memoryRow < kHeight; ++memoryRow) {
        const int uprightRow = kHeight - 1 - memoryRow;
        for (int i = 0; i < kWidth * 3; ++i) {
            bytes[memoryRow * kWidth * 3 + i] = static_cast<uint8_t>(number * 16 + uprightRow);
        }
    }
    return bytes;
}

struct Delivered {
    std::vector<std::vector<uint8_t>> pictures;
    std::vector<uint64_t> stamps;
};

// A consumer that keeps what it is given and, while `held`, waits before
// taking the next picture, as an encoder far behind would.
class Consumer {
public:
    PictureHandOff::Deliver deliver() {
        return [this](const uint8_t* upright, uint64_t pts, uint64_t duration) {
            std::unique_lock<std::mutex> guard(lock_);
            released_.wait_for(guard, 10s, [this] { return !held_; });
            got_.pictures.emplace_back(upright, upright + kWidth * kHeight * 3);
            got_.stamps.push_back(pts * 1000 + duration);
        };
    }
    void hold(bool held) {
        {
            std::lock_guard<std::mutex> guard(lock_);
            held_ = held;
        }
        released_.notify_all();
    }
    size_t count() {
        std::lock_guard<std::mutex> guard(lock_);
        return got_.pictures.size();
    }
    Delivered got() {
        std::lock_guard<std::mutex> guard(lock_);
        return got_;
    }

private:
    std::mutex lock_;
    std::condition_variable released_;
    bool held_ = false;
    Delivered got_;
};

void expectUpright(const std::vector<uint8_t>& bytes, int number) {
    for (int row = 0; row < kHeight; ++row) {
        ASSERT_EQ(bytes[row * kWidth * 3], number * 16 + row) << "picture " << number;
        ASSERT_EQ(bytes[row * kWidth * 3 + kWidth * 3 - 1], number * 16 + row);
    }
}
}  // namespace

TEST(PictureHandOffTest, PicturesArriveUprightInOrderWithTheirStamps) {
    Consumer consumer;
    PictureHandOff handOff;
    handOff.start(kWidth, kHeight, consumer.deliver());
    for (int number = 0; number < 5; ++number) {
        ASSERT_TRUE(handOff.hand(picture(number).data(), 100 + number, 7));
        ASSERT_TRUE(
            eventually([&] { return consumer.count() == static_cast<size_t>(number + 1); }));
    }
    handOff.finish();
    const Delivered got = consumer.got();
    ASSERT_EQ(got.pictures.size(), 5u);
    for (int number = 0; number < 5; ++number) {
        expectUpright(got.pictures[number], number);
        EXPECT_EQ(got.stamps[number], static_cast<uint64_t>((100 + number) * 1000 + 7));
    }
    EXPECT_EQ(handOff.leftOut(), 0u);
    EXPECT_FALSE(handOff.hand(picture(9).data(), 0, 0)) << "nothing is taken after finish";
}

// With the consumer stuck on one picture, the next fills the other slot and
// the third is left out at once; finish delivers what waited, and a new
// start works again.
TEST(PictureHandOffTest, AConsumerBehindCostsALeftOutPictureNeverAWait) {
    Consumer consumer;
    PictureHandOff handOff;
    handOff.start(kWidth, kHeight, consumer.deliver());
    consumer.hold(true);
    ASSERT_TRUE(handOff.hand(picture(0).data(), 0, 1));
    ASSERT_TRUE(handOff.hand(picture(1).data(), 1, 1));
    // Picture 0 waits or is being delivered, picture 1 waits: a hand-off
    // that waited for a slot would sit here until the consumer gave up.
    EXPECT_FALSE(handOff.hand(picture(2).data(), 2, 1)) << "both slots taken";
    EXPECT_EQ(handOff.leftOut(), 1u);
    consumer.hold(false);
    handOff.finish();
    Delivered got = consumer.got();
    ASSERT_EQ(got.pictures.size(), 2u) << "the waiting picture is delivered before the end";
    expectUpright(got.pictures[0], 0);
    expectUpright(got.pictures[1], 1);

    handOff.start(kWidth, kHeight, consumer.deliver());
    EXPECT_EQ(handOff.leftOut(), 0u);
    ASSERT_TRUE(handOff.hand(picture(3).data(), 3, 1));
    handOff.finish();
    got = consumer.got();
    ASSERT_EQ(got.pictures.size(), 3u);
    expectUpright(got.pictures[2], 3);
}
