#pragma once

#include <QMargins>
#include <QPixmap>
#include <QRect>
#include <array>

class QPainter;

// A border picture cut into nine: four corners of the margin sizes, four
// edges between them and the centre. Drawn into any rectangle, the corners
// keep their size and the edges and centre stretch, so one small picture
// frames a window of any size.
class NineSlicePicture {
public:
    NineSlicePicture() = default;
    NineSlicePicture(const QPixmap& picture, int top, int right, int bottom, int left);

    void setPicture(const QPixmap& picture, int top, int right, int bottom, int left);
    void draw(QPainter& painter, const QRect& target) const;
    bool isNull() const { return pieces_[4].isNull() && pieces_[0].isNull(); }
    const QPixmap& piece(int row, int column) const { return pieces_[row * 3 + column]; }

private:
    std::array<QPixmap, 9> pieces_;
    int top_ = 0, right_ = 0, bottom_ = 0, left_ = 0;
};
