// A second process for the video information tests: asks for one file's
// information and prints "playTime width height" when the answer comes.

#include <QGuiApplication>
#include <QTimer>

#include <cstdio>

#include "app/video_info_request.h"

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        return 2;
    }
    QString path = QString::fromLocal8Bit(argv[1]);
    QObject::connect(VideoInfoRequest::instance(), &VideoInfoRequest::sig_videoInfoGet,
                     [&](const VideoInfoQt& info) {
                         if (info.path == path) {
                             std::printf("%d %d %d\n", info.playTime, info.image.width(),
                                         info.image.height());
                             app.quit();
                         }
                     });
    QTimer::singleShot(0, [&] { VideoInfoRequest::instance()->request(path); });
    QTimer::singleShot(20000, &app, &QCoreApplication::quit);
    return app.exec();
}
