// How long the video information cache takes to answer for a 10 s file:
// the first time (the file is played until its thumbnail frame) and from the
// disk cache in a fresh process (here: a fresh request object's view of it).

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdlib>
#include <filesystem>

#include "app/video_info_request.h"

namespace {
double askMs(const QString& path) {
    bool answered = false;
    auto connection = QObject::connect(
        VideoInfoRequest::instance(), &VideoInfoRequest::sig_videoInfoGet,
        [&](const VideoInfoQt& info) { answered = answered || info.path == path; });
    QElapsedTimer clock;
    clock.start();
    VideoInfoRequest::instance()->request(path);
    while (!answered && clock.elapsed() < 30000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    QObject::disconnect(connection);
    return answered ? static_cast<double>(clock.nsecsElapsed()) / 1e6 : -1;
}

void BM_FirstAnswerFor10sFile(benchmark::State& state) {
    std::string dir = (std::filesystem::temp_directory_path() / "lumora-bench-info").string();
    std::filesystem::create_directories(dir);
    setenv("XDG_CACHE_HOME", (dir + "/cache").c_str(), 1);
    std::string uncached = dir + "/uncached.mp4", cached = dir + "/cached.mp4";
    for (const std::string& file : {uncached, cached}) {
        std::string make =
            "ffmpeg -v error -y -f lavfi -i testsrc2=s=640x480:r=15:d=10 "
            "-c:v libx264 -preset veryfast -pix_fmt yuv420p '" +
            file + "'";
        if (std::system(make.c_str()) != 0) {
            state.SkipWithError("ffmpeg could not make the clip");
            return;
        }
    }
    // Put one file in the disk cache, as an earlier run of the program would.
    auto info =
        VideoInfoQt{QString::fromStdString(cached), QImage(640, 480, QImage::Format_RGB32), 10000};
    info.image.fill(Qt::gray);
    VideoInfoCache::write(info);
    for (auto _ : state) {
        state.counters["uncached_ms"] = askMs(QString::fromStdString(uncached));
        state.counters["cached_ms"] = askMs(QString::fromStdString(cached));
    }
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_FirstAnswerFor10sFile)->Iterations(1)->Unit(benchmark::kMillisecond);
}  // namespace
