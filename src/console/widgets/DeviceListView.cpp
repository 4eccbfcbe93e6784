#include "console/widgets/DeviceListView.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>

TDeviceListView::TDeviceListView(QWidget* parent) : QTreeWidget(parent) {
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setAllColumnsShowFocus(true);
    header()->setSectionsClickable(false);
    header()->setSectionsMovable(false);
    header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    header()->setStretchLastSection(false);
}

QTreeWidgetItem* TDeviceListView::FocusedRow() const {
    return chosen_ ? currentItem() : nullptr;
}

void TDeviceListView::ForgetFocusedRow() {
    chosen_ = false;
    if (selectionModel())
        selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
}

void TDeviceListView::focusInEvent(QFocusEvent* event) {
    QTreeWidget::focusInEvent(event);
    // Undo the view's habit of making the first row current on focus.
    if (!chosen_ && selectionModel())
        selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
}

void TDeviceListView::mouseReleaseEvent(QMouseEvent* event) {
    QTreeWidget::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && itemAt(event->position().toPoint())) {
        chosen_ = true;
        emit RowClicked();
    }
}

void TDeviceListView::keyPressEvent(QKeyEvent* event) {
    QTreeWidget::keyPressEvent(event);
    if (currentItem())
        chosen_ = true;
}

void TDeviceListView::keyReleaseEvent(QKeyEvent* event) {
    QTreeWidget::keyReleaseEvent(event);
    if (!event->isAutoRepeat())
        emit KeyReleased();
}
