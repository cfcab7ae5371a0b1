// How quickly the panels come up, and how long the user interface can stall.
//
// PageShown: a tab's first click builds its page and shows it; timed here
// from the page's construction to the end of its first paint.
// VideoListOf200: the video page loads a saved list of 200 files; a 5 ms
// heartbeat timer measures the longest time the event loop did not run while
// the items were added and their information began to come in (10 s).

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdlib>
#include <functional>

#include "app/settings_db.h"
#include "ui/camera_control_view.h"
#include "ui/control_view.h"
#include "ui/effect_control_view.h"
#include "ui/lumora_box.h"
#include "ui/pic_control_view.h"
#include "ui/record_control_view.h"
#include "ui/video_control_view.h"
#include "ui/video_graphic_view.h"
#include "widgets/button_skin.h"
#include "widgets/skin_style.h"

namespace {
// Notes when a widget has finished painting.
class PaintWatch : public QObject {
public:
    bool painted = false;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            painted = true;
        return QObject::eventFilter(watched, event);
    }
};

double showPageMs(const std::function<QWidget*()>& makePage) {
    QElapsedTimer clock;
    clock.start();
    QWidget* page = makePage();
    PaintWatch watch;
    page->installEventFilter(&watch);
    page->resize(316, 532);
    page->show();
    while (!watch.painted && clock.elapsed() < 10000) {
        QApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    QApplication::processEvents();  // the paint itself has returned
    double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    delete page;
    return ms;
}

template <typename Page>
void BM_PageShown(benchmark::State& state) {
    for (auto _ : state) {
        state.SetIterationTime(showPageMs([] { return new Page; }) / 1000.0);
    }
}
BENCHMARK(BM_PageShown<CameraControlView>)
    ->Name("PageShown/camera")
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PageShown<EffectControlView>)
    ->Name("PageShown/effects")
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PageShown<VideoControlView>)
    ->Name("PageShown/videos")
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PageShown<PicControlView>)
    ->Name("PageShown/pictures")
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PageShown<RecordControlView>)
    ->Name("PageShown/recordings")
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

// The real thing: in the main window, from a click on each tab to the end
// of its page's first paint (the first click builds the page), and a second
// click that only switches.
void BM_TabClickToPageShown(benchmark::State& state) {
    LumoraBox* box = LumoraBox::instance();
    box->showDialog();
    QApplication::processEvents();
    ControlView* control = box->controlView();
    const char* const names[] = {"camera", "effects", "videos", "pictures", "recordings"};
    for (auto _ : state) {
        for (int round = 0; round < 2; ++round) {
            for (int tab = ControlView::Recordings; tab >= ControlView::Camera; --tab) {
                QElapsedTimer clock;
                clock.start();
                control->tabButton(tab)->click();
                PaintWatch watch;
                QWidget* page = control->currentPage();
                page->installEventFilter(&watch);
                page->update();
                while (!watch.painted && clock.elapsed() < 10000) {
                    QApplication::processEvents(QEventLoop::AllEvents, 1);
                }
                page->removeEventFilter(&watch);
                std::string name =
                    std::string(names[tab]) + (round == 0 ? "_first_ms" : "_again_ms");
                state.counters[name] = static_cast<double>(clock.nsecsElapsed()) / 1e6;
            }
        }
    }
    LumoraBox::destroy();
}
BENCHMARK(BM_TabClickToPageShown)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_VideoListOf200(benchmark::State& state) {
    QTemporaryDir folder;
    QString clip = folder.filePath("clip.mp4");
    std::string make =
        "ffmpeg -v error -y -f lavfi -i testsrc2=s=640x480:r=15:d=2 "
        "-c:v libx264 -preset veryfast -pix_fmt yuv420p '" +
        clip.toStdString() + "'";
    if (std::system(make.c_str()) != 0) {
        state.SkipWithError("ffmpeg could not make the clip");
        return;
    }
    QStringList paths;
    for (int i = 0; i < 200; ++i) {
        QString copy = folder.filePath(QString("clip%1.mp4").arg(i, 3, 10, QChar('0')));
        QFile::copy(clip, copy);
        paths << copy;
    }
    for (auto _ : state) {
        SettingsDb::instance()->saveStringList("Videos", paths);
        QElapsedTimer clock, sinceBeat;
        qint64 longest = 0, allListedMs = -1;
        QTimer heartbeat;
        QObject::connect(&heartbeat, &QTimer::timeout,
                         [&] { longest = std::max(longest, sinceBeat.restart()); });
        clock.start();
        sinceBeat.start();
        heartbeat.start(5);
        auto* page = new VideoControlView;
        page->show();
        while (clock.elapsed() < 10000) {
            QApplication::processEvents(QEventLoop::AllEvents, 5);
            if (allListedMs < 0 && page->list()->paths().size() == 200) {
                allListedMs = clock.elapsed();
            }
        }
        heartbeat.stop();
        state.counters["longest_stall_ms"] = static_cast<double>(longest);
        state.counters["all_200_listed_ms"] = static_cast<double>(allListedMs);
        delete page;
    }
    SettingsDb::instance()->saveStringList("Videos", {});
}
BENCHMARK(BM_VideoListOf200)->Iterations(1)->Unit(benchmark::kMillisecond);
}  // namespace

int main(int argc, char** argv) {
    QTemporaryDir home;
    setenv("HOME", qPrintable(home.path()), 1);
    setenv("XDG_CONFIG_HOME", qPrintable(home.path() + "/config"), 1);
    setenv("XDG_CACHE_HOME", qPrintable(home.path() + "/cache"), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("LUMORA_FAKE_CAMERAS", "2", 1);
    QApplication app(argc, argv);
    SkinStyle::instance()->setSkinDirectory(LUMORA_BUILT_SKIN);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
