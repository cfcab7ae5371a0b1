#pragma once

#include <QList>
#include <QPainter>
#include <QRectF>
#include <QSize>
#include <QString>

#include <functional>

// The slices of a button strip, in the order the skin buttons cut them.
enum ButtonState { kNormal = 0, kHover = 1, kPressed = 2, kDisabled = 3 };
// The slices of a tile frame strip.
enum FrameState { kFrameNormal = 0, kFrameSelected = 1 };

// Paints one state of a picture into `slice`, in logical pixels; the painter
// may carry a device pixel ratio, so the same code serves 1x and 2x.
using StatePainter = std::function<void(QPainter& painter, const QRectF& slice, int state)>;

// One file of the skin folder: `states` slices of `slice` logical pixels
// side by side, each painted by `paint`.
struct SkinPicture {
    QString path;  // relative to the skin folder, e.g. "main/btn_close.png"
    QSize slice;
    int states = 1;
    StatePainter paint;
};

// Every picture, folder by folder (each list lives in <folder>_art.cpp).
QList<SkinPicture> rootPictures();
QList<SkinPicture> mainPictures();
QList<SkinPicture> cameraPictures();
QList<SkinPicture> effectPictures();
QList<SkinPicture> videoPictures();
QList<SkinPicture> videoPlayPictures();
QList<SkinPicture> picPictures();
QList<SkinPicture> recordPictures();
QList<SkinPicture> livePictures();

// All of the above.
QList<SkinPicture> skinCatalogue();
