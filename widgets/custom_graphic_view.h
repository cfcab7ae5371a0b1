#pragma once

#include <QGraphicsView>

#include "widgets/custom_graphic_item_listener.h"

// The scrolling item view of the panels: it owns its scene, reports every
// selection change with whether all selectable items are selected, toggles
// select-all on Control+A, scrolls only vertically and accepts no drops.
class CustomGraphicView : public QGraphicsView, public CustomGraphicItemListener {
    Q_OBJECT

public:
    explicit CustomGraphicView(QWidget* parent = nullptr);
    // Deletes the scene and with it every item still in it; a panel deletes
    // the layout items it made before that.
    ~CustomGraphicView() override;

    bool isAllSelected() const { return allSelected_; }

signals:
    void sig_itemSelectionChanged(bool bSelection, bool bSelectAll);

public slots:
    void onSelectionChanged();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void toggleSelectAll();

    QGraphicsScene* scene_ = nullptr;
    bool allSelected_ = false;
};
