#include <gtest/gtest.h>

#include <random>

#include "effects/caption_record.h"

namespace {
CaptionControls controls() {
    CaptionControls c;
    c.textColour = QColor(255, 0, 0, 255);
    c.backgroundColour = QColor(0, 0, 255, 200);
    c.fontFamily = "Noto Sans CJK SC";
    c.text = "欢迎来到直播间";
    c.sizeText = "24";
    c.transparency = 0;
    c.scrollMode = 0;
    return c;
}
}  // namespace

TEST(CaptionRecordTest, RecordsFromTheControls) {
    CaptionRecord record = buildCaptionRecord(controls());
    EXPECT_EQ(record.textParam.clrText, 0xFFFF0000u);
    EXPECT_EQ(record.textParam.point, 24);
    EXPECT_EQ(record.font, "Noto Sans CJK SC");
    EXPECT_EQ(QString::fromUtf16(record.param()->szText), "欢迎来到直播间");
    EXPECT_TRUE(record.scroll.useBk);
    EXPECT_EQ(record.scroll.clrBk, 0xC80000FFu) << "transparency 0 keeps the colour's own alpha";
    EXPECT_EQ(record.scroll.direct, 1) << "still is direction 1";
    EXPECT_EQ(record.scroll.pos, 1);
    EXPECT_EQ(record.scroll.speed, 30);
    EXPECT_EQ(record.scroll.spacing, 5);
    EXPECT_EQ(record.scroll.offset, 0);
    EXPECT_FALSE(record.bopen);

    auto c = controls();
    c.transparency = 255;
    EXPECT_FALSE(buildCaptionRecord(c).scroll.useBk) << "fully transparent: no background";
    // Otherwise the alpha byte is masked with 255 - transparency, bit by bit.
    c.transparency = 100;
    EXPECT_EQ(buildCaptionRecord(c).scroll.clrBk, 0x880000FFu) << "0xC8 & 0x9B";
    c.backgroundColour = QColor(0, 0, 255, 40);
    EXPECT_EQ(buildCaptionRecord(c).scroll.clrBk, 0x080000FFu) << "0x28 & 0x9B";
    c.backgroundColour = QColor(0, 0, 255, 255);
    EXPECT_EQ(buildCaptionRecord(c).scroll.clrBk, 0x9B0000FFu) << "opaque: exactly 155";

    const std::pair<int, int> modes[] = {{0, 1}, {1, 0}, {2, 2}, {5, 2}, {-1, 2}};
    for (auto [mode, direction] : modes) {
        c.scrollMode = mode;
        EXPECT_EQ(buildCaptionRecord(c).scroll.direct, direction) << mode;
    }
    c.sizeText = "big";
    EXPECT_EQ(buildCaptionRecord(c).textParam.point, 0) << "read as a number, 0 when not one";
}

TEST(CaptionRecordTest, TheStoredFormAndItsRoundTrip) {
    CaptionRecord record = buildCaptionRecord(controls());
    record.bopen = true;
    record.text = "a:b;c";
    QString stored = encodeCaptionRecord(record);
    EXPECT_EQ(stored,
              "bopen:1;clrBk:3355443455;clrText:4294901760;direct:1;offset:0;point:24;pos:1;"
              "speed:30;szFont:Noto Sans CJK SC;szText:a&nbnbb&nbcbc;useBk:1;");

    CaptionRecord back = decodeCaptionRecord(stored, CaptionRecord{});
    EXPECT_TRUE(back.bopen);
    EXPECT_EQ(back.text, "a:b;c");
    EXPECT_EQ(back.font, record.font);
    EXPECT_EQ(back.scroll.clrBk, record.scroll.clrBk);
    EXPECT_EQ(back.textParam.clrText, record.textParam.clrText);
    EXPECT_EQ(back.textParam.point, 24);
    EXPECT_EQ(back.scroll.direct, 1);
    EXPECT_TRUE(back.scroll.useBk);

    CaptionRecord defaults;
    defaults.text = "默认";
    CaptionRecord partial =
        decodeCaptionRecord("bopen:0;szText:;weird:1:2;unknown:5;;point:30;", defaults);
    EXPECT_EQ(partial.text, "默认") << "an empty stored text keeps the default";
    EXPECT_EQ(partial.textParam.point, 30);
    EXPECT_FALSE(partial.bopen);
}

TEST(CaptionRecordTest, EveryStorableTextComesBackExactly) {
    std::mt19937 random(7);
    const QString alphabet = "ab:;&nbc 直播";
    for (int round = 0; round < 2000; ++round) {
        QString text;
        for (int i = 0, n = 1 + static_cast<int>(random() % 12); i < n; ++i) {
            text += alphabet[static_cast<int>(random() % alphabet.size())];
        }
        CaptionRecord record;
        record.text = text;
        QString back = decodeCaptionRecord(encodeCaptionRecord(record), CaptionRecord{}).text;
        if (isStorableCaptionText(text)) {
            ASSERT_EQ(back, text) << text.toStdString();
        }
    }
    EXPECT_FALSE(isStorableCaptionText("x&nbnby"));
    EXPECT_FALSE(isStorableCaptionText("x&nbcb"));
    EXPECT_TRUE(isStorableCaptionText("a & b : c ; d"));
}
