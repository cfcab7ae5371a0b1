#include "widgets/nine_slice.h"

#include <QPainter>

namespace {
// Offsets and lengths of the three bands along one side of a rectangle.
struct Bands {
    std::array<int, 3> start;
    std::array<int, 3> length;
};

Bands bandsOf(int origin, int total, int first, int last) {
    int middle = total - first - last;
    return {{origin, origin + first, origin + first + middle}, {first, middle, last}};
}
}  // namespace

NineSlicePicture::NineSlicePicture(const QPixmap& picture, int top, int right, int bottom,
                                   int left) {
    setPicture(picture, top, right, bottom, left);
}

void NineSlicePicture::setPicture(const QPixmap& picture, int top, int right, int bottom,
                                  int left) {
    top_ = top;
    right_ = right;
    bottom_ = bottom;
    left_ = left;
    pieces_ = {};
    if (picture.isNull()) {
        return;
    }
    // The picture's own pixels, whatever its device pixel ratio, so a @2x
    // picture is cut at the same logical margins.
    qreal ratio = picture.devicePixelRatio();
    QSize size = picture.deviceIndependentSize().toSize();
    Bands rows = bandsOf(0, size.height(), top, bottom);
    Bands columns = bandsOf(0, size.width(), left, right);
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) {
            QRect source(columns.start[column], rows.start[row], columns.length[column],
                         rows.length[row]);
            if (source.width() > 0 && source.height() > 0) {
                QRect pixels(qRound(source.x() * ratio), qRound(source.y() * ratio),
                             qRound(source.width() * ratio), qRound(source.height() * ratio));
                pieces_[row * 3 + column] = picture.copy(pixels);
            }
        }
    }
}

void NineSlicePicture::draw(QPainter& painter, const QRect& target) const {
    Bands rows = bandsOf(target.y(), target.height(), top_, bottom_);
    Bands columns = bandsOf(target.x(), target.width(), left_, right_);
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) {
            const QPixmap& piece = pieces_[row * 3 + column];
            QRect into(columns.start[column], rows.start[row], columns.length[column],
                       rows.length[row]);
            if (!piece.isNull() && into.width() > 0 && into.height() > 0) {
                painter.drawPixmap(into, piece);
            }
        }
    }
}
