#pragma once

#include <QColor>
#include <QImage>
#include <QString>
#include <QVector>

// Writes an animated GIF that loops forever, every frame a full picture of
// the same size. Pixels whose alpha is below half are transparent; the others
// take the nearest colour of the palette (at most 255 colours: index 0 is the
// transparent one). Drawing without antialiasing in the palette's colours
// gives an exact result.
class GifWriter {
public:
    GifWriter(QVector<QColor> palette, int delayMs);

    void addFrame(const QImage& frame);
    // False with a reason on failure.
    bool save(const QString& path, QString* error) const;

private:
    QVector<uint8_t> indexed(const QImage& frame) const;

    QVector<QColor> palette_;
    int delayMs_;
    int width_ = 0;
    int height_ = 0;
    QVector<QVector<uint8_t>> frames_;
};
