#include "tools/skin_gallery/contact_sheet.h"

#include <QFontMetrics>
#include <QPainter>

namespace {
constexpr int kMargin = 24;
constexpr int kGap = 16;
constexpr int kCaption = 18;
constexpr int kHeading = 28;
constexpr int kTitle = 40;
constexpr int kMaxRowWidth = 1400;
const QColor kPage("#1B1F24");
const QColor kCaptionColour("#AEB7C2");

QFont sheetFont(int pixels, bool bold) {
    QFont font("Noto Sans CJK SC");
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

QSize logicalSize(const QImage& picture) { return picture.deviceIndependentSize().toSize(); }

// A cell is as wide as its picture or its caption, whichever is wider.
int cellWidth(const QImage& picture, const QString& caption) {
    static const QFontMetrics metrics(sheetFont(12, false));
    return qMax(logicalSize(picture).width(), metrics.horizontalAdvance(caption));
}
}  // namespace

ContactSheet::ContactSheet(const QString& title, qreal scale) : title_(title), scale_(scale) {}

void ContactSheet::startRow(const QString& heading) { rows_.append({heading, {}}); }

void ContactSheet::add(const QString& caption, const QImage& picture) {
    if (rows_.isEmpty())
        startRow(QString());
    rows_.last().cells.append({caption, picture});
    ++count_;
}

ContactSheet::Placement ContactSheet::place() const {
    Placement placement;
    int width = kMargin * 2, y = kMargin + kTitle;
    for (const Row& row : rows_) {
        placement.headings.append(QPoint(kMargin, y));
        y += kHeading;
        int x = kMargin, lineHeight = 0;
        for (const Cell& cell : row.cells) {
            if (x > kMargin && x + cellWidth(cell.picture, cell.caption) > kMaxRowWidth) {
                y += lineHeight + kCaption + kGap;
                x = kMargin;
                lineHeight = 0;
            }
            placement.cells.append(QPoint(x, y));
            x += cellWidth(cell.picture, cell.caption) + kGap;
            width = qMax(width, x + kMargin);
            lineHeight = qMax(lineHeight, logicalSize(cell.picture).height());
        }
        y += lineHeight + kCaption + kGap;
    }
    placement.size = QSize(width, y + kMargin);
    return placement;
}

bool ContactSheet::save(const QString& path) const {
    Placement placement = place();
    QSize size = placement.size;
    QImage page(size * scale_, QImage::Format_ARGB32_Premultiplied);
    page.setDevicePixelRatio(scale_);
    page.fill(kPage);
    QPainter painter(&page);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::white);
    painter.setFont(sheetFont(22, true));
    painter.drawText(QRect(kMargin, kMargin, size.width(), kTitle), Qt::AlignLeft | Qt::AlignTop,
                     title_);
    int index = 0;
    for (int r = 0; r < rows_.size(); ++r) {
        painter.setPen(Qt::white);
        painter.setFont(sheetFont(15, true));
        painter.drawText(QRect(placement.headings[r], QSize(size.width(), kHeading)), Qt::AlignLeft,
                         rows_[r].heading);
        painter.setFont(sheetFont(12, false));
        painter.setPen(kCaptionColour);
        for (const Cell& cell : rows_[r].cells) {
            QPoint at = placement.cells[index++];
            painter.drawImage(at, cell.picture);
            QRect caption(at.x(), at.y() + logicalSize(cell.picture).height() + 2,
                          cellWidth(cell.picture, cell.caption) + kGap, kCaption);
            painter.drawText(caption, Qt::AlignLeft | Qt::AlignTop, cell.caption);
        }
    }
    painter.end();
    return page.save(path, "PNG");
}
