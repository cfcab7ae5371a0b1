#pragma once

#include <QGraphicsScene>
#include <QGraphicsView>
#include <QGraphicsWidget>
#include <QStringList>

#include "widgets/custom_graphic_item_listener.h"

class QGraphicsWidget;

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

    // Puts the panel's item container (a widget whose layout holds the
    // items) into the scene. From then on, on every resize and whenever
    // relayout() is called after items come or go, the container gets the
    // layout's preferred size for the viewport's width, and the scene
    // rectangle is that size placed at `margin` (for example (-18, -12) to
    // start the items 18 pixels from the left and 12 from the top).
    void hostContainer(QGraphicsWidget* container, QPointF margin);
    // The same for a new container holding `layout`, which it takes.
    template <typename Layout>
    Layout* hostLayout(Layout* layout, QPointF margin) {
        auto* container = new QGraphicsWidget;
        container->setLayout(layout);
        hostContainer(container, margin);
        return layout;
    }
    void relayout();

    // The paths of the selected items that are of type Item (which has path()).
    template <typename Item>
    QStringList selectedPathsOf() const {
        QStringList paths;
        for (QGraphicsItem* item : scene()->selectedItems()) {
            if (auto* tile = dynamic_cast<Item*>(item)) {
                paths << tile->path();
            }
        }
        return paths;
    }

signals:
    void sig_itemSelectionChanged(bool bSelection, bool bSelectAll);

public slots:
    void onSelectionChanged();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void toggleSelectAll();

    QGraphicsScene* scene_ = nullptr;
    bool allSelected_ = false;
    QGraphicsWidget* container_ = nullptr;
    QPointF margin_;
};
