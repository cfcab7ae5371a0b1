#include <gtest/gtest.h>

#include "effects/caption_record.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGraphicsWidget>
#include <QTest>
#include <QTextEdit>
#include <QTranslator>

#include "app/settings_db.h"
#include "app/startup.h"
#include "effects/gif_mixer_effect.h"
#include "effects/skin_color_effect.h"
#include "effects/text_mixer_effect.h"
#include "engine/play_graph.h"
#include "tests/support/log_capture.h"
#include "tests/support/test_media.h"
#include "tests/ui/ui_test_environment.h"
#include "ui/caption_fonts.h"
#include "ui/caption_view.h"
#include "ui/color_button.h"
#include "ui/effect_control_view.h"
#include "ui/prettify_item.h"
#include "ui/prettify_pendant_view.h"
#include "ui/prettify_view.h"
#include "widgets/button_skin.h"
#include "widgets/play_slider_bar.h"
#include "widgets/skin_style.h"

namespace {
template <typename Effect>
std::vector<Effect*> effectsInGraph() {
    std::vector<Effect*> found;
    for (VideoEffect* effect : PlayGraph::Instance()->Effects()) {
        if (auto* typed = dynamic_cast<Effect*>(effect))
            found.push_back(typed);
    }
    return found;
}

void forgetSavedEffects() {
    for (int slot : {0, 1, 2})
        SettingsDb::instance()->saveValue(slot, QVariant());
}

// Clicks at a point of a tile, in the tile's own coordinates.
void clickTile(PrettifyView* view, int id, QPointF at = QPointF(30, 30)) {
    PrettifyItem* tile = view->tileById(id);
    ASSERT_NE(tile, nullptr) << "no tile " << id;
    view->ensureVisible(tile);
    QPoint point = view->mapFromScene(tile->mapToScene(at));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, point);
}

std::vector<int> stripIds(PrettifyPendantView* page) {
    std::vector<int> ids;
    for (int id : {0, 1, 2, 3, 4, 5, 6, 7, 8, 256, 257, 258, 259, 260, 261, 262}) {
        if (page->strip()->tileById(id))
            ids.push_back(id);
    }
    return ids;
}

struct Panel {
    EffectControlView view;
    Panel() {
        view.resize(316, 532);
        view.show();
        view.loadFromDb();
        settle();
    }
    PrettifyPendantView* page() const { return view.prettifyPage(); }
};
}  // namespace

TEST(EffectPanelTest, PresetsTakeEffectAtOnceWithOneBeautifyObject) {
    forgetSavedEffects();
    Panel panel;
    PrettifyPendantView* page = panel.page();
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(panel.view.currentPage(), page);
    EXPECT_EQ(page->presetGrid()->tileCount(), 9);
    EXPECT_EQ(page->presetGrid()->tileById(3)->name(), "唯美");
    EXPECT_FALSE(page->presetGrid()->tileById(3)->icon().isNull()) << "icons come from the skin";

    clickTile(page->presetGrid(), 1);
    ASSERT_EQ(effectsInGraph<SkinColorEffect>().size(), 1u);
    SkinColorEffect* beautify = effectsInGraph<SkinColorEffect>()[0];
    EXPECT_EQ(beautify->preset(), 1);
    EXPECT_EQ(stripIds(page), std::vector<int>{1});
    clickTile(page->presetGrid(), 1);
    EXPECT_EQ(stripIds(page), std::vector<int>{1}) << "the current preset again: nothing";
    clickTile(page->presetGrid(), 6);
    EXPECT_EQ(stripIds(page), std::vector<int>{6});
    ASSERT_EQ(effectsInGraph<SkinColorEffect>().size(), 1u);
    EXPECT_EQ(effectsInGraph<SkinColorEffect>()[0], beautify) << "the same object, reused";
    EXPECT_EQ(beautify->preset(), 6);

    // The close button over the strip tile's corner takes the preset away.
    PrettifyOptItem* chosen = dynamic_cast<PrettifyOptItem*>(page->strip()->tileById(6));
    ASSERT_NE(chosen, nullptr);
    clickTile(page->strip(), 6, chosen->closeRect().center());
    settle();
    EXPECT_TRUE(stripIds(page).empty());
    EXPECT_TRUE(effectsInGraph<SkinColorEffect>().empty());
    EXPECT_EQ(page->presetGrid()->selectedId(), -1);
    EXPECT_EQ(page->currentPreset(), -1);
    EXPECT_EQ(page->strip()->tileById(6), nullptr);
}

TEST(EffectPanelTest, PendantsAreRecreatedOnlyForAnotherPendant) {
    forgetSavedEffects();
    Panel panel;
    PrettifyPendantView* page = panel.page();
    panel.view.tabButton(1)->click();
    EXPECT_EQ(page->page(), 1);
    EXPECT_TRUE(panel.view.tabButton(1)->isSelected());
    EXPECT_FALSE(panel.view.tabButton(0)->isSelected());
    QStringList gifs =
        QDir(builtSkinFolder() + "/effect/挂件").entryList({"*.gif"}, QDir::NoFilter, QDir::Name);
    ASSERT_GE(gifs.size(), 2);
    EXPECT_EQ(page->pendantGrid()->tileCount(), gifs.size());

    clickTile(page->pendantGrid(), 256);
    ASSERT_EQ(effectsInGraph<GifMixerEffect>().size(), 1u);
    GifMixerEffect* first = effectsInGraph<GifMixerEffect>()[0];
    EXPECT_TRUE(QString::fromStdWString(first->path()).endsWith(gifs[0]));
    EXPECT_EQ(first->Order(), 10);
    clickTile(page->pendantGrid(), 256);
    EXPECT_EQ(effectsInGraph<GifMixerEffect>(), std::vector<GifMixerEffect*>{first});
    EXPECT_EQ(page->pendantEffect(), first) << "the same pendant twice: not recreated";
    clickTile(page->pendantGrid(), 257);
    ASSERT_EQ(effectsInGraph<GifMixerEffect>().size(), 1u);
    EXPECT_TRUE(
        QString::fromStdWString(effectsInGraph<GifMixerEffect>()[0]->path()).endsWith(gifs[1]));
    EXPECT_EQ(stripIds(page), std::vector<int>{257});

    panel.view.tabButton(0)->click();
    clickTile(page->presetGrid(), 2);
    EXPECT_EQ(stripIds(page), (std::vector<int>{2, 257}));
    EXPECT_EQ(PlayGraph::Instance()->Effects().front(), page->beautifyEffect())
        << "beautify runs before the pendant";
}

TEST(EffectPanelTest, ChoicesReturnAfterARestartUnlessCleared) {
    forgetSavedEffects();
    {
        Panel panel;
        clickTile(panel.page()->presetGrid(), 5);
        panel.view.tabButton(1)->click();
        clickTile(panel.page()->pendantGrid(), 257);
        // Saved at the click, while the panel is open: a crash keeps them.
        QVariant preset, pendant;
        SettingsDb::instance()->loadValue(0, preset);
        SettingsDb::instance()->loadValue(1, pendant);
        EXPECT_TRUE(preset.isValid() && pendant.isValid());
        EXPECT_EQ(preset.toInt(), 5);
        EXPECT_EQ(pendant.toInt(), 257);
    }
    EXPECT_TRUE(effectsInGraph<SkinColorEffect>().empty()) << "the page took its effects along";
    EXPECT_TRUE(effectsInGraph<GifMixerEffect>().empty());
    {
        Panel panel;
        EXPECT_EQ(stripIds(panel.page()), (std::vector<int>{5, 257}));
        ASSERT_EQ(effectsInGraph<SkinColorEffect>().size(), 1u);
        EXPECT_EQ(effectsInGraph<SkinColorEffect>()[0]->preset(), 5);
        EXPECT_EQ(effectsInGraph<GifMixerEffect>().size(), 1u);
        EXPECT_EQ(panel.page()->presetGrid()->selectedId(), 5);

        QList<ButtonSkin*> buttons = panel.page()->findChildren<ButtonSkin*>();
        auto clear = std::find_if(buttons.begin(), buttons.end(), [](ButtonSkin* button) {
            return button->imagePath() == "effect/btn_clear.png";
        });
        ASSERT_NE(clear, buttons.end());
        (*clear)->click();
        EXPECT_TRUE(stripIds(panel.page()).empty());
        EXPECT_TRUE(effectsInGraph<SkinColorEffect>().empty());
        EXPECT_TRUE(effectsInGraph<GifMixerEffect>().empty());
        EXPECT_NE(panel.page()->beautifyEffect(), nullptr) << "cleared effects stay alive";
    }
    QVariant preset;
    SettingsDb::instance()->loadValue(0, preset);
    EXPECT_EQ(preset.toInt(), -1);
    Panel again;
    EXPECT_TRUE(stripIds(again.page()).empty());
    EXPECT_TRUE(effectsInGraph<SkinColorEffect>().empty());
}

TEST(EffectPanelTest, APendantNameEndsAtItsFirstDot) {
    forgetSavedEffects();
    ScratchDir skin;
    QString folder = QString::fromStdString(skin.file("skin"));
    QDir().mkpath(folder + "/effect/挂件");
    QFile::copy(builtSkinFolder() + "/effect/挂件/星星.gif", folder + "/effect/挂件/流.星.gif");
    SkinStyle::instance()->setSkinDirectory(folder);
    {
        PrettifyPendantView page;
        settle();
        ASSERT_EQ(page.pendantGrid()->tileCount(), 1);
        EXPECT_EQ(page.pendantGrid()->tileById(256)->name(), "流");
        EXPECT_TRUE(page.presetGrid()->tileById(0)->icon().isNull()) << "no skin picture";
    }
    SkinStyle::instance()->setSkinDirectory(builtSkinFolder());
    QDir(QString::fromStdString(skin.file("missing"))).removeRecursively();
    SkinStyle::instance()->setSkinDirectory(QString::fromStdString(skin.file("missing")));
    {
        PrettifyPendantView page;
        EXPECT_EQ(page.pendantGrid()->tileCount(), 0) << "no pendant folder: an empty grid";
    }
    SkinStyle::instance()->setSkinDirectory(builtSkinFolder());
}

TEST(EffectPanelTest, CaptionFollowsEveryChangeWhileOn) {
    forgetSavedEffects();
    CaptionView caption;
    settle();
    QColor answer;
    caption.setColourChooser([&](const QColor&, QWidget*) { return answer; });
    EXPECT_EQ(caption.effect(), nullptr) << "off at first";
    EXPECT_EQ(caption.sizeBox()->currentText(), "20");
    EXPECT_EQ(caption.scrollBox()->count(), 3);

    QTest::mouseClick(caption.onRadio(), Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_TRUE(caption.onRadio()->isSelected());
    EXPECT_FALSE(caption.offRadio()->isSelected());
    ASSERT_EQ(effectsInGraph<TextMixerEffect>().size(), 1u);
    EXPECT_EQ(effectsInGraph<TextMixerEffect>()[0]->Order(), 1000);
    EXPECT_EQ(caption.record().text, "这里输入字幕");

    caption.textBox()->setPlainText("直播开始");
    EXPECT_EQ(caption.record().text, "直播开始");
    EXPECT_EQ(effectsInGraph<TextMixerEffect>().size(), 1u) << "replaced, not added";
    caption.scrollBox()->setCurrentIndex(2);
    EXPECT_EQ(caption.record().scroll.direct, 2);

    answer = QColor(255, 0, 0);
    caption.textColourButton()->click();
    EXPECT_EQ(caption.record().textParam.clrText, 0xFFFF0000u);
    EXPECT_EQ(caption.textColourButton()->color(), QColor(255, 0, 0));
    answer = QColor();  // cancelled
    caption.backgroundColourButton()->click();
    EXPECT_EQ(caption.backgroundColourButton()->color(), QColor("#00ffff"));

    TextMixerEffect* before = caption.effect();
    caption.transparencySlider()->setValue(100);
    emit caption.transparencySlider()->valueChanging(100);
    EXPECT_EQ(caption.effect(), before) << "transparency only updates the scroll record";
    EXPECT_EQ(caption.record().scroll.clrBk >> 24, 155u);

    caption.textBox()->clear();
    EXPECT_TRUE(effectsInGraph<TextMixerEffect>().empty()) << "an empty caption disappears";
    caption.textBox()->setPlainText("再见");
    QTest::mouseClick(caption.offRadio(), Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_TRUE(effectsInGraph<TextMixerEffect>().empty());
    EXPECT_NE(caption.effect(), nullptr) << "off keeps the object until the next rebuild";
    caption.textBox()->setPlainText("不显示");
    EXPECT_TRUE(effectsInGraph<TextMixerEffect>().empty()) << "while off, edits show nothing";
    caption.applyButton()->click();
    EXPECT_EQ(effectsInGraph<TextMixerEffect>().size(), 1u) << "apply shows it even when off";
}

TEST(EffectPanelTest, CaptionComesBackAsItWasLeft) {
    forgetSavedEffects();
    QStringList fonts = installedCaptionFontFamilies();
    ASSERT_FALSE(fonts.isEmpty()) << "the CJK fonts of the package list";
    {
        CaptionView caption;
        settle();
        caption.setColourChooser([](const QColor&, QWidget*) { return QColor(10, 20, 30); });
        caption.textBox()->setPlainText("欢迎: 朋友们; 晚上好");
        caption.fontBox()->setCurrentIndex(fonts.size() - 1);
        caption.sizeBox()->setCurrentText("24");
        caption.scrollBox()->setCurrentIndex(1);
        caption.textColourButton()->click();
        caption.transparencySlider()->setValue(255);
        QTest::mouseClick(caption.onRadio(), Qt::LeftButton, {}, QPoint(3, 3));
        QVariant stored;
        SettingsDb::instance()->loadValue(2, stored);
        ASSERT_TRUE(stored.isValid()) << "saved as it was switched on, while the page is open";
        CaptionRecord record = decodeCaptionRecord(stored.toString(), CaptionRecord{});
        EXPECT_EQ(record.text, "欢迎: 朋友们; 晚上好");
        EXPECT_TRUE(record.bopen);
    }
    EXPECT_TRUE(effectsInGraph<TextMixerEffect>().empty());
    LogCapture log;
    CaptionView again;
    settle();
    EXPECT_EQ(again.textBox()->toPlainText(), "欢迎: 朋友们; 晚上好");
    EXPECT_EQ(again.fontBox()->currentText(), fonts.last());
    EXPECT_EQ(again.sizeBox()->currentText(), "24");
    EXPECT_EQ(again.scrollBox()->currentIndex(), 1);
    EXPECT_EQ(again.textColourButton()->color(), QColor(10, 20, 30));
    EXPECT_EQ(again.transparencySlider()->value(), 255);
    EXPECT_TRUE(again.onRadio()->isSelected());
    EXPECT_EQ(effectsInGraph<TextMixerEffect>().size(), 1u);
    auto lines = log.lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "textmixer, loadfromdb finished"), lines.end());
}

TEST(EffectPanelTest, FontListLeavesOutVerticalAdobeAndLatinOnlyFamilies) {
    QStringList all{"@宋体", "Adobe 宋体 Std",   "ADOBE Heiti", "宋体",
                    "Arial", "Noto Sans CJK SC", "DejaVu Sans", "微软雅黑"};
    auto writesChinese = [](const QString& family) { return family.contains("CJK"); };
    EXPECT_EQ(captionFontFamilies(all, writesChinese),
              (QStringList{"宋体", "Noto Sans CJK SC", "微软雅黑"}));
    EXPECT_FALSE(installedCaptionFontFamilies().contains("DejaVu Sans"));
}

// The caption box's default text, never typed, is saved as the default and
// comes back in the language of the next start; a typed text comes back as
// typed, whatever the language.
TEST(EffectPanelTest, AnUntypedCaptionFollowsTheLanguageAndATypedOneStays) {
    forgetSavedEffects();
    QTranslator translator;
    auto speakEnglish = [&](bool english) {
        if (english) {
            ASSERT_TRUE(installTranslations(Language::English, translator));
        } else {
            QCoreApplication::removeTranslator(&translator);
        }
    };
    // Shown, switched on (which saves it) and, where given, typed into.
    auto start = [](const QString& typed) {
        CaptionView caption;
        settle();
        QString shown = caption.textBox()->toPlainText();
        QTest::mouseClick(caption.onRadio(), Qt::LeftButton, {}, QPoint(3, 3));
        if (!typed.isEmpty()) {
            caption.textBox()->setPlainText(typed);
        }
        return shown;
    };
    EXPECT_EQ(start(""), "这里输入字幕");
    speakEnglish(true);
    EXPECT_EQ(start(""), "Type your caption here") << "saved in Chinese, untouched";
    speakEnglish(false);
    EXPECT_EQ(start(""), "这里输入字幕") << "saved in English, untouched";
    speakEnglish(true);
    start("Live now");
    speakEnglish(false);
    EXPECT_EQ(start(""), "Live now") << "typed in English";
    forgetSavedEffects();
}
