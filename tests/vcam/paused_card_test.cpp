#include <gtest/gtest.h>

#include <vector>

#include "vcam/paused_card.h"

namespace {
constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr size_t kRowBytes = kWidth * 3;

// The lit pixels of the hint's line (the lower third of the lettering).
size_t litInHintLine(const std::vector<uint8_t>& card) {
    size_t lit = 0;
    for (int line = kHeight / 2 + kHeight / 16; line < kHeight * 3 / 4; ++line) {
        const uint8_t* row = card.data() + static_cast<size_t>(kHeight - 1 - line) * kRowBytes;
        for (int x = 0; x < kWidth; ++x) {
            lit += row[x * 3] > 200;
        }
    }
    return lit;
}
}  // namespace

TEST(PausedCardTest, TheLastPictureIsDimmedAndCarriesTheNameAndTheHint) {
    std::vector<uint8_t> picture(kRowBytes * kHeight, 200);
    std::vector<uint8_t> card(picture.size(), 0);
    PausedCard paused(Language::Chinese);
    ASSERT_TRUE(paused.hasFont()) << "fonts-noto-cjk is installed with the program";
    paused.paint(picture.data(), kRowBytes, kWidth, kHeight, card.data());

    // Bottom row first: the top quarter of the picture is the frame's last rows.
    const uint8_t* topCorner = card.data() + (kHeight - 1) * kRowBytes;
    EXPECT_EQ(topCorner[0], 80) << "two fifths of the brightness";
    size_t lit = 0;
    size_t litOutsideText = 0;
    for (int line = 0; line < kHeight; ++line) {
        const uint8_t* row = card.data() + static_cast<size_t>(kHeight - 1 - line) * kRowBytes;
        for (int x = 0; x < kWidth; ++x) {
            if (row[x * 3] > 200) {
                bool inText = line > kHeight / 3 && line < kHeight * 3 / 4;
                ++(inText ? lit : litOutsideText);
            }
        }
    }
    EXPECT_GT(lit, 1000u) << "white lettering across the middle";
    EXPECT_EQ(litOutsideText, 0u);

    // Painting again from the same picture gives the same card.
    std::vector<uint8_t> again(picture.size(), 0);
    paused.paint(picture.data(), kRowBytes, kWidth, kHeight, again.data());
    EXPECT_EQ(again, card);

    // In English the hint is another word: its line differs, the name's not.
    std::vector<uint8_t> english(picture.size(), 0);
    PausedCard(Language::English).paint(picture.data(), kRowBytes, kWidth, kHeight, english.data());
    EXPECT_NE(english, card);
    EXPECT_GT(litInHintLine(english), 100u);
    EXPECT_NE(litInHintLine(english), litInHintLine(card));
    EXPECT_STREQ(PausedCard::hint(Language::English), "Paused");
    EXPECT_STREQ(PausedCard::hint(Language::Chinese), "已暂停");
}
