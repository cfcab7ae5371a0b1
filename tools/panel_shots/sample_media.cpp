#include "tools/panel_shots/sample_media.h"

#include <QDir>
#include <QImage>
#include <QPainter>
#include <QProcess>

#include "base/language.h"

namespace {
// Sample files are named in the language the pages speak.
QString sampleWord(const char* chinese, const char* english) {
    return QString::fromUtf8(programLanguage() == Language::Chinese ? chinese : english);
}

// A landscape: sky, sun and a hill, in colours that vary with `index`.
QImage landscape(int index) {
    QImage picture(640, 480, QImage::Format_RGB32);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    int hue = (index * 47) % 360;
    QLinearGradient sky(0, 0, 0, 480);
    sky.setColorAt(0, QColor::fromHsv(hue, 120, 250));
    sky.setColorAt(1, QColor::fromHsv((hue + 30) % 360, 60, 255));
    painter.fillRect(picture.rect(), sky);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 225, 120));
    painter.drawEllipse(QPointF(470, 120), 55, 55);
    painter.setBrush(QColor::fromHsv((hue + 140) % 360, 150, 140));
    painter.drawEllipse(QPointF(200, 620), 480, 300);
    return picture;
}
}  // namespace

QStringList makeSamplePictures(const QString& folder, int count) {
    QDir().mkpath(folder);
    QStringList paths;
    for (int i = 0; i < count; ++i) {
        QString path = QString("%1/%2%3.png")
                           .arg(folder, sampleWord("风景", "landscape"))
                           .arg(i + 1, 2, 10, QChar('0'));
        if (landscape(i).save(path))
            paths << path;
    }
    return paths;
}

QStringList makeSampleVideos(const QString& folder, int count) {
    QDir().mkpath(folder);
    QStringList paths;
    const char* const sources[] = {"testsrc2", "smptebars", "mandelbrot", "rgbtestsrc"};
    for (int i = 0; i < count; ++i) {
        QString path = QString("%1/%2%3.mp4").arg(folder, sampleWord("片段", "clip")).arg(i + 1);
        QString input = QString("%1=size=640x480:rate=15").arg(sources[i % 4]);
        int seconds = 3 + 7 * i;
        QStringList arguments{"-loglevel", "error",   "-y",
                              "-f",        "lavfi",   "-i",
                              input,       "-t",      QString::number(seconds),
                              "-pix_fmt",  "yuv420p", "-c:v",
                              "libx264",   path};
        if (QProcess::execute("ffmpeg", arguments) == 0)
            paths << path;
    }
    return paths;
}
