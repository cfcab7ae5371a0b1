#pragma once

#include <QMap>
#include <QPixmap>
#include <QVariant>

#include "widgets/custom_graphic_view.h"

class CustomGraphicGridLayout;
class PrettifyItem;
class QGraphicsLayoutItem;

// A grid of effect tiles (61 x 80) keyed by tile id: the preset grid, the
// pendant grid and the strip of chosen effects. Clicks and removal requests
// come out as signals carrying the tile id.
class PrettifyView : public CustomGraphicView {
    Q_OBJECT

public:
    explicit PrettifyView(QWidget* parent = nullptr);
    ~PrettifyView() override;

    // A tile whose icon is the skin picture at `relativePath`.
    void addTile(int id, const QString& name, const QString& relativePath);
    // A strip tile, with a close button, copied from a grid tile.
    void addOptTile(int id, const QString& name, const QPixmap& icon, const QString& path);
    PrettifyItem* tileById(int id) const { return tiles_.value(id, nullptr); }
    int tileCount() const { return static_cast<int>(tiles_.size()); }
    // The id of the first selected tile, -1 when none is.
    int selectedId() const;
    // Acts as if the tile had been clicked, and selects it.
    void selectById(int id);
    void removeTile(int id);
    void clearTiles();
    void clearSelection();

    void itemClicked(QVariant value) override;
    void itemRemoveRequested(QVariant value) override;

signals:
    void sig_onMouseClicked(QVariant value);
    void sig_onRemoveItem(QVariant value);

private:
    void place(PrettifyItem* tile);
    void deleteAllLayoutItems();

    QMap<int, PrettifyItem*> tiles_;
    QMap<int, QGraphicsLayoutItem*> layoutItems_;
    QPixmap selectedFrame_;
    QPixmap normalFrame_;
    CustomGraphicGridLayout* grid_ = nullptr;
};
