#pragma once

#include <QColor>
#include <QImage>
#include <QString>
#include <QVector>

#include <functional>

// One pendant of the effect panel: a looping animation over the whole
// 640 x 480 picture, transparent where the face is, drawn frame by frame in a
// few flat colours (no antialiasing, so the GIF keeps them exactly).
struct Pendant {
    QString fileName;  // under skin/effect/挂件
    QVector<QColor> palette;
    int frames;
    int delayMs;
    std::function<void(QImage& frame, int index)> draw;  // frame is cleared beforehand
};

QVector<Pendant> allPendants();
