// Makes the pendant GIFs of skin/effect/挂件 from the drawings in pendants.cpp
// and, with --sheet, one PNG that shows the first frame of each over a grey
// picture, for review. Usage: lumora-pendant-art OUTPUT_FOLDER [--sheet FILE]

#include <QDir>
#include <QGuiApplication>
#include <QPainter>

#include <cstdio>

#include "tools/pendant_art/gif_writer.h"
#include "tools/pendant_art/pendants.h"

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    QStringList arguments = app.arguments();
    if (arguments.size() < 2) {
        std::fprintf(stderr, "usage: lumora-pendant-art OUTPUT_FOLDER [--sheet FILE]\n");
        return 2;
    }
    QDir folder(arguments[1]);
    folder.mkpath(".");
    QImage sheet(3 * 320, 2 * 240, QImage::Format_ARGB32);
    sheet.fill(QColor(110, 110, 110));
    QPainter sheetPainter(&sheet);
    int made = 0;
    for (const Pendant& pendant : allPendants()) {
        GifWriter writer(pendant.palette, pendant.delayMs);
        QImage first;
        for (int index = 0; index < pendant.frames; ++index) {
            QImage frame(640, 480, QImage::Format_ARGB32);
            frame.fill(Qt::transparent);
            pendant.draw(frame, index);
            writer.addFrame(frame);
            if (index == 0) {
                first = frame;
            }
        }
        QString error;
        if (!writer.save(folder.filePath(pendant.fileName), &error)) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(pendant.fileName), qPrintable(error));
            return 1;
        }
        sheetPainter.drawImage(QRect((made % 3) * 320, (made / 3) * 240, 320, 240), first);
        ++made;
    }
    sheetPainter.end();
    int sheetAt = arguments.indexOf("--sheet");
    if (sheetAt > 0 && sheetAt + 1 < arguments.size()) {
        sheet.save(arguments[sheetAt + 1]);
    }
    return 0;
}
