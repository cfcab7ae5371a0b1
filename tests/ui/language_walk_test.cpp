#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGraphicsView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTextEdit>
#include <QTranslator>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "app/startup.h"
#include "libs/crashreport/bugreport_window.h"
#include "tests/support/test_media.h"
#include "tests/ui/ui_test_environment.h"
#include "ui/camera_control_view.h"
#include "ui/caption_view.h"
#include "ui/control_view.h"
#include "ui/effect_control_view.h"
#include "ui/lumora_box.h"
#include "ui/prettify_item.h"
#include "ui/prettify_pendant_view.h"
#include "ui/prettify_view.h"
#include "ui/video_preview_dlg.h"
#include "widgets/button_skin.h"
#include "widgets/skin_style.h"

// Every widget of the main window, all its pages built, walked in English
// and in Chinese with the program's own font, style sheet, translations and
// skin: in English no text is Chinese, and in both no text is wider than
// the room its widget has.
namespace {
// CJK ideographs and punctuation, and the full-width forms.
bool hasChinese(const QString& text) {
    for (QChar c : text) {
        ushort u = c.unicode();
        if ((u >= 0x4E00 && u <= 0x9FFF) || (u >= 0x3000 && u <= 0x303F) ||
            (u >= 0xFF00 && u <= 0xFFEF)) {
            return true;
        }
    }
    return false;
}

// Where a widget is, for a failure's message.
std::string placeOf(const QObject* object) {
    std::string place;
    for (; object != nullptr; object = object->parent()) {
        place = std::string(object->metaObject()->className()) + (place.empty() ? "" : "/") + place;
    }
    return place;
}

struct Text {
    std::string where;
    QString text;
    int room;    // pixels the text has; -1 when it need not fit on one line
    int needed;  // pixels it takes
};

// The pieces of text a person sees in the widgets under `root`, with the
// room each has.
std::vector<Text> textsUnder(QWidget* root) {
    std::vector<Text> texts;
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    for (QWidget* widget : widgets) {
        std::string where = placeOf(widget);
        const QFontMetrics metrics(widget->font());
        if (!widget->toolTip().isEmpty()) {
            texts.push_back({where + " (tool tip)", widget->toolTip(), -1, 0});
        }
        if (widget->isWindow() && !widget->windowTitle().isEmpty()) {
            texts.push_back({where + " (title)", widget->windowTitle(), -1, 0});
        }
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            if (!label->text().isEmpty()) {
                bool oneLine =
                    !label->wordWrap() && !label->text().contains('\n') && label->isVisibleTo(root);
                texts.push_back({where, label->text(), oneLine ? label->contentsRect().width() : -1,
                                 metrics.horizontalAdvance(label->text())});
            }
        } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            if (!button->text().isEmpty()) {
                texts.push_back(
                    {where, button->text(), button->width(), button->sizeHint().width()});
            }
        } else if (auto* box = qobject_cast<QComboBox*>(widget)) {
            // The caption's font box lists the machine's font families as they are named.
            bool fonts = qobject_cast<CaptionView*>(box->parent()) &&
                         box == static_cast<CaptionView*>(box->parent())->fontBox();
            // The room the style (with the style sheet's padding) leaves the text.
            QStyleOptionComboBox option;
            option.initFrom(box);
            option.frame = box->hasFrame();
            int room = box->style()
                           ->subControlRect(QStyle::CC_ComboBox, &option,
                                            QStyle::SC_ComboBoxEditField, box)
                           .width();
            for (int i = 0; i < box->count() && !fonts; ++i) {
                texts.push_back({where + " item " + std::to_string(i), box->itemText(i), room,
                                 metrics.horizontalAdvance(box->itemText(i))});
            }
        } else if (auto* edit = qobject_cast<QTextEdit*>(widget)) {
            texts.push_back({where, edit->toPlainText(), -1, 0});
        } else if (auto* line = qobject_cast<QLineEdit*>(widget)) {
            texts.push_back({where, line->text() + line->placeholderText(), -1, 0});
        } else if (auto* grid = qobject_cast<PrettifyView*>(widget)) {
            for (QGraphicsItem* item : grid->scene()->items()) {
                if (auto* tile = dynamic_cast<PrettifyItem*>(item)) {
                    // A tile's name sits under its 61-pixel-wide icon.
                    texts.push_back({where + " tile", tile->name(), 61,
                                     metrics.horizontalAdvance(tile->name())});
                }
            }
        }
    }
    return texts;
}

// The main window with every page and sub-page built and shown once.
struct WholeWindow {
    LumoraBox* box = LumoraBox::instance();
    WholeWindow() {
        box->showDialog();
        settle();
        ControlView* control = box->controlView();
        for (int tab : {ControlView::Camera, ControlView::Effects, ControlView::Videos,
                        ControlView::Pictures, ControlView::Recordings, ControlView::Live}) {
            control->tabButton(tab)->click();
            settle();
        }
        control->tabButton(ControlView::Effects)->click();
        auto* effects = static_cast<EffectControlView*>(control->page(ControlView::Effects));
        for (int tab = 0; tab < 4; ++tab) {
            effects->tabButton(tab)->click();
            settle();
        }
        emit box->trayIcon()->activated(QSystemTrayIcon::Context);
        box->trayMenu()->hide();
        settle();
    }
    ~WholeWindow() { LumoraBox::destroy(); }

    // The crash reporter's window too, over a report on disk.
    static std::vector<Text> reporterTexts() {
        ScratchDir folder;
        const std::string report = folder.file("crash.txt");
        FILE* file = std::fopen(report.c_str(), "w");
        std::fputs("Lumora crashed: SIGSEGV\n#0 0x0 in main\n", file);
        std::fclose(file);
        BugReportWindow window(QString::fromStdString(report));
        window.show();
        settle();
        return textsUnder(&window);
    }

    // Both faces of the recording's preview dialog, over a real video.
    static std::vector<Text> previewTexts() {
        ScratchDir folder;
        const std::string video = folder.file("clip.mp4");
        EXPECT_TRUE(makeTestVideo(video, TestVideo{}));
        std::vector<Text> texts;
        for (int mode : {VideoPreviewDlg::kAfterRecording, VideoPreviewDlg::kFromList}) {
            VideoPreviewDlg dialog(mode, QString::fromStdString(video), 1);
            dialog.resize(dialog.sizeHint());
            dialog.show();
            settle();
            std::vector<Text> some = textsUnder(&dialog);
            texts.insert(texts.end(), some.begin(), some.end());
        }
        return texts;
    }

    // Every text: the window's, each page's (a page not shown is still laid
    // out in the stack), the tray menu's.
    std::vector<Text> texts() const {
        std::vector<Text> all = textsUnder(box);
        for (QAction* action : box->trayMenu()->actions()) {
            all.push_back({"tray menu", action->text(), -1, 0});
            if (action->menu() != nullptr) {
                for (QAction* inner : action->menu()->actions()) {
                    all.push_back({"tray menu's language", inner->text(), -1, 0});
                }
            }
        }
        return all;
    }
};

// The program's look: its font and style sheet, a translation installed
// while the test runs.
class LanguageWalkTest : public ::testing::Test {
protected:
    void SetUp() override {
        QApplication::setFont(interfaceFont(QFontDatabase::families()));
        qApp->setStyleSheet(applicationStyleSheet(builtSkinFolder()));
    }
    void TearDown() override {
        QCoreApplication::removeTranslator(&translator_);
        SkinStyle::instance()->setLanguageFolder(QString());
        qApp->setStyleSheet(QString());
    }
    // As the program does at start: the catalogue beside the program (the
    // tests are built beside it), LUMORA_LANG for the helpers the panels
    // start (lumora-vcam --check).
    void speak(Language language) { ASSERT_TRUE(installTranslations(language, translator_)); }
    static void expectEveryTextFits(const std::vector<Text>& texts) {
        int measured = 0;
        for (const Text& text : texts) {
            if (text.room < 0) {
                continue;
            }
            ++measured;
            EXPECT_LE(text.needed, text.room)
                << text.where << ": \"" << text.text.toStdString() << "\" needs " << text.needed
                << " pixels and has " << text.room;
        }
        EXPECT_GT(measured, 60) << "the walk reached the pages' labels, buttons and boxes";
    }

    // The texts of the crash reporter and the preview dialog after `texts`.
    static void appendDialogTexts(std::vector<Text>* texts) {
        for (const std::vector<Text>& more :
             {WholeWindow::reporterTexts(), WholeWindow::previewTexts()}) {
            texts->insert(texts->end(), more.begin(), more.end());
        }
    }

    QTranslator translator_;
};
}  // namespace

TEST_F(LanguageWalkTest, InEnglishNoTextIsChineseAndEveryTextFits) {
    speak(Language::English);
    SkinStyle::instance()->setLanguageFolder("en");
    WholeWindow window;
    std::vector<Text> texts = window.texts();
    EXPECT_GT(texts.size(), 100u);
    appendDialogTexts(&texts);
    for (const Text& text : texts) {
        // Each language is named in itself in the language menu.
        if (text.text == "中文" || text.text == "Language 语言") {
            continue;
        }
        // The virtual camera's name in a command stays what the device is called.
        QString words = QString(text.text).remove("\"Lumora直播伴侣\"");
        EXPECT_FALSE(hasChinese(words)) << text.where << ": " << text.text.toStdString();
    }
    expectEveryTextFits(texts);
    // The pictures with words come from the English skin.
    EXPECT_TRUE(SkinStyle::instance()
                    ->skinPath("effect/btn_prettify.png")
                    .endsWith("/en/effect/btn_prettify.png"));
}

TEST_F(LanguageWalkTest, InChineseEveryTextFitsAndTheToolkitSpeaksChineseToo) {
    speak(Language::Chinese);
    std::vector<Text> texts;
    {
        WholeWindow window;
        texts = window.texts();
    }
    appendDialogTexts(&texts);
    expectEveryTextFits(texts);
    // The toolkit's own file dialog, with its own catalogue.
    QFileDialog dialog(nullptr, "选择视频");
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    int labels = 0, chinese = 0;
    for (const Text& text : textsUnder(&dialog)) {
        if (text.where.find("QLabel") != std::string::npos && !text.text.isEmpty()) {
            ++labels;
            chinese += hasChinese(text.text);
        }
    }
    EXPECT_GE(labels, 2);
    EXPECT_EQ(chinese, labels) << "查找范围, 文件名称, 文件类型 in the toolkit's Chinese";
}
