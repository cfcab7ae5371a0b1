#pragma once

#include <QImage>
#include <QList>
#include <QPoint>
#include <QSize>
#include <QString>

// A page of labelled pictures in rows, for people to look at a whole group
// of widgets at once. Pictures keep their device pixel ratio, so a sheet made
// at scale 2 shows the @2x art.
class ContactSheet {
public:
    ContactSheet(const QString& title, qreal scale);

    void startRow(const QString& heading);
    void add(const QString& caption, const QImage& picture);
    // Lays the sheet out and writes it as PNG; false when it cannot be written.
    bool save(const QString& path) const;
    int pictureCount() const { return count_; }

private:
    struct Cell {
        QString caption;
        QImage picture;
    };
    struct Row {
        QString heading;
        QList<Cell> cells;
    };

    // Where each row's heading and each picture go, and the page size.
    struct Placement {
        QList<QPoint> headings;
        QList<QPoint> cells;
        QSize size;
    };
    Placement place() const;

    QString title_;
    qreal scale_;
    QList<Row> rows_;
    int count_ = 0;
};
