// Screenshots of the panels with the real skin, for people to look at:
// each page is shown in a window of its own on the running display (Xvfb in
// CI, so run it under xvfb-run), filled with sample media, and grabbed from
// the screen once it has settled. The pages speak the program's language:
// LUMORA_LANG=en for English.
//
//   lumora-panel-shots <output folder>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFontDatabase>
#include <QLineEdit>
#include <QPainter>
#include <QScreen>
#include <QTemporaryDir>
#include <QTranslator>
#include <QVBoxLayout>
#include <cstdio>
#include <cstdlib>

#include "app/settings_db.h"
#include "app/startup.h"
#include "tools/panel_shots/sample_media.h"
#include "ui/camera_control_view.h"
#include "ui/effect_control_view.h"
#include "ui/full_video_view.h"
#include "ui/live_control_view.h"
#include "ui/pic_control_view.h"
#include "ui/pic_graphic_view.h"
#include "ui/player_bar_view.h"
#include "ui/prettify_pendant_view.h"
#include "ui/prettify_view.h"
#include "ui/record_control_view.h"
#include "ui/record_graphic_view.h"
#include "ui/video_control_view.h"
#include "ui/video_graphic_view.h"
#include "ui/video_preview_dlg.h"
#include "widgets/button_skin.h"
#include "widgets/skin_style.h"

namespace {
// The page's place in the main window: the dark column right of the preview.
class Host : public QWidget {
public:
    explicit Host(QWidget* page, QSize size) {
        setFixedSize(size);
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(page);
    }

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), QColor("#22282F")); }
};

void wait(int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
}

bool shoot(QWidget& window, const QString& path, int settleMs) {
    window.show();
    window.raise();
    wait(settleMs);
    QPixmap shot = window.screen()->grabWindow(window.winId());
    bool saved = !shot.isNull() && shot.save(path);
    std::printf("%s %s (%dx%d)\n", saved ? "wrote" : "FAILED", qPrintable(path), shot.width(),
                shot.height());
    window.hide();
    return saved;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    QTemporaryDir home;
    setenv("HOME", qPrintable(home.path()), 1);
    setenv("XDG_CONFIG_HOME", qPrintable(home.path() + "/config"), 1);
    setenv("XDG_CACHE_HOME", qPrintable(home.path() + "/cache"), 1);
    setenv("LUMORA_FAKE_CAMERAS", "2", 0);
    QApplication app(argc, argv);
    QString out = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(out)) {
        std::fprintf(stderr, "cannot make %s\n", argv[1]);
        return 1;
    }
    // The program's language (LUMORA_LANG=en for the English pages), font
    // and style sheet.
    QTranslator translator;
    Language language = startupLanguage();
    installTranslations(language, translator);
    SkinStyle::instance()->setSkin("skin");
    if (language == Language::English) {
        SkinStyle::instance()->setLanguageFolder("en");
    }
    QApplication::setFont(interfaceFont(QFontDatabase::families()));
    app.setStyleSheet(
        applicationStyleSheet(SkinStyle::instance()->skinDirectory(), app.devicePixelRatio()));
    QStringList pictures = makeSamplePictures(home.path() + "/pictures", 14);
    QStringList videos = makeSampleVideos(home.path() + "/videos", 4);
    const QSize page(316, 532);
    int failures = 0;

    {
        Host window(new CameraControlView, page);
        failures += !shoot(window, out + "/camera.png", 800);
    }
    {
        auto* effects = new EffectControlView;
        Host window(effects, page);
        effects->loadFromDb();
        effects->prettifyPage()->presetGrid()->selectById(3);
        failures += !shoot(window, out + "/effects-presets.png", 800);
        effects->tabButton(1)->click();
        effects->prettifyPage()->pendantGrid()->selectById(257);
        failures += !shoot(window, out + "/effects-pendants.png", 800);
        effects->tabButton(2)->click();
        failures += !shoot(window, out + "/effects-caption.png", 800);
        effects->tabButton(3)->click();
        failures += !shoot(window, out + "/effects-background.png", 800);
    }
    {
        auto* videoPage = new VideoControlView;
        Host window(videoPage, page);
        for (const QString& path : videos)
            videoPage->list()->addVideo(path);
        failures += !shoot(window, out + "/videos.png", 6000);
    }
    {
        auto* picturePage = new PicControlView;
        Host window(picturePage, page);
        picturePage->grid()->push(pictures);
        failures += !shoot(window, out + "/pictures.png", 1500);
    }
    {
        auto* recordPage = new RecordControlView;
        Host window(recordPage, page);
        for (const QString& path : videos.mid(0, 2))
            recordPage->list()->addPath(path);
        failures += !shoot(window, out + "/recordings.png", 4000);
        VideoPreviewDlg preview(VideoPreviewDlg::kFromList, videos.value(0), 3);
        preview.resize(preview.sizeHint());
        failures += !shoot(preview, out + "/record-preview.png", 800);
    }
    {
        auto* livePage = new LiveControlView;
        Host window(livePage, page);
        livePage->loadFromDb();
        livePage->serverBox()->setEditText("rtmp://127.0.0.1/live");
        livePage->keyEdit()->setText("0123456789abcdef");
        livePage->keyEdit()->setCursorPosition(0);
        failures += !shoot(window, out + "/live.png", 800);
        // A preset as it stands is no address: the page says so. Without a
        // key, so that none is filed (the desktop's keyring may answer).
        livePage->serverBox()->setCurrentIndex(livePage->serverBox()->count() - 1);
        livePage->keyEdit()->clear();
        livePage->startButton()->click();
        livePage->keyEdit()->setText("0123456789abcdef");
        livePage->keyEdit()->setCursorPosition(0);
        failures += !shoot(window, out + "/live-stopped.png", 800);
        livePage->showKeyButton()->click();
        failures += !shoot(window, out + "/live-key-shown.png", 800);
    }
    {
        QWidget player;
        auto* column = new QVBoxLayout(&player);
        column->setContentsMargins(0, 0, 0, 0);
        column->addWidget(new PlayerDisplayView);
        column->addWidget(new PlayerBarView);
        player.setStyleSheet("background: #1B1F24;");
        failures += !shoot(player, out + "/player.png", 1500);
    }
    SettingsDb::instance()->saveStringList("Videos", {});
    return failures == 0 ? 0 : 1;
}
