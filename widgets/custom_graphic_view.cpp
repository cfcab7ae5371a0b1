#include "widgets/custom_graphic_view.h"

#include <QGraphicsItem>
#include <QGraphicsLayout>
#include <QGraphicsWidget>
#include <QKeyEvent>

#include "base/debug_log.h"

CustomGraphicView::CustomGraphicView(QWidget* parent)
    : QGraphicsView(parent), scene_(new QGraphicsScene) {
    setScene(scene_);
    setMouseTracking(true);
    // Scoped to the view: tool tips shown for the tiles take the view's style
    // rules, and an unscoped transparent background made them black boxes.
    setStyleSheet("QGraphicsView { background: transparent; border: 0px }");
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    connect(scene_, &QGraphicsScene::selectionChanged, this,
            &CustomGraphicView::onSelectionChanged);
}

CustomGraphicView::~CustomGraphicView() { delete scene_; }

void CustomGraphicView::hostContainer(QGraphicsWidget* container, QPointF margin) {
    container_ = container;
    margin_ = margin;
    scene_->addItem(container);
    relayout();
}

void CustomGraphicView::relayout() {
    if (!container_ || !container_->layout()) {
        return;
    }
    // The layouts do not announce added or removed items (they place only
    // what moved), so the cached hint is dropped before asking again.
    QGraphicsLayout* layout = container_->layout();
    layout->updateGeometry();
    QSizeF size = layout->effectiveSizeHint(Qt::PreferredSize, QSizeF(viewport()->width(), -1));
    container_->setGeometry(QRectF(QPointF(0, 0), size));
    setSceneRect(QRectF(margin_, size));
}

void CustomGraphicView::resizeEvent(QResizeEvent* event) {
    QGraphicsView::resizeEvent(event);
    relayout();
}

void CustomGraphicView::onSelectionChanged() {
    int selectable = 0;
    int selected = 0;
    for (QGraphicsItem* item : scene_->items()) {
        if (item->flags() & QGraphicsItem::ItemIsSelectable) {
            ++selectable;
            selected += item->isSelected() ? 1 : 0;
        }
    }
    allSelected_ = selectable == selected && selected > 0;
    emit sig_itemSelectionChanged(!scene_->selectedItems().isEmpty(), allSelected_);
}

void CustomGraphicView::toggleSelectAll() {
    bool deselect = allSelected_;
    for (QGraphicsItem* item : scene_->items()) {
        if (item->flags() & QGraphicsItem::ItemIsSelectable) {
            item->setSelected(!deselect);
        }
    }
}

void CustomGraphicView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_A && (event->modifiers() & Qt::ControlModifier)) {
        toggleSelectAll();
    }
    QGraphicsView::keyPressEvent(event);
}

void CustomGraphicView::mouseReleaseEvent(QMouseEvent* event) {
    debugLog("before release sel count %lld",
             static_cast<long long>(scene_->selectedItems().size()));
    QGraphicsView::mouseReleaseEvent(event);
}

void CustomGraphicView::dragEnterEvent(QDragEnterEvent*) {}

void CustomGraphicView::dropEvent(QDropEvent*) {}
