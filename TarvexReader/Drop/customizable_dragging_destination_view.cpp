#include "TarvexReader/Drop/customizable_dragging_destination_view.h"

#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPaintEvent>

namespace TarvexReader {

CustomizableDraggingDestinationView::CustomizableDraggingDestinationView(QWidget* parent) : QWidget(parent) {
    setAcceptDrops(true);
    setMinimumSize(320, 160);
}

void CustomizableDraggingDestinationView::refreshFromReceiver() {
    isReceivingDrag_ = receiver_ && receiver_->isReceivingDrag();
    update();
}

void CustomizableDraggingDestinationView::dragEnterEvent(QDragEnterEvent* event) {
    const Qt::DropAction action = receiver_ ? receiver_->draggingEntered(event->mimeData()) : Qt::IgnoreAction;
    refreshFromReceiver();
    if (action == Qt::IgnoreAction) {
        event->ignore();
        return;
    }
    event->setDropAction(action);
    event->accept();
}

void CustomizableDraggingDestinationView::dragMoveEvent(QDragMoveEvent* event) {
    // The answer given on entry holds while the drag moves over the view.
    if (isReceivingDrag_) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void CustomizableDraggingDestinationView::dragLeaveEvent(QDragLeaveEvent* event) {
    if (receiver_) {
        receiver_->draggingExited();
    }
    refreshFromReceiver();
    event->accept();
}

void CustomizableDraggingDestinationView::dropEvent(QDropEvent* event) {
    bool taken = false;
    if (receiver_) {
        const bool prepared = receiver_->prepareForDragOperation(event->mimeData());
        refreshFromReceiver();
        if (prepared) {
            taken = receiver_->performDragOperation(event->mimeData());
            refreshFromReceiver();
        }
    }
    if (taken) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void CustomizableDraggingDestinationView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    if (isReceivingDrag_) {
        painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()), 10, 10);
        painter.drawPath(path);
        return;
    }
    const QRect dirty = event->rect();
    if (rect().height() > dirty.height()) {
        return;
    }
    painter.setPen(QPen(palette().color(QPalette::WindowText), 0.2));
    QPainterPath path;
    path.addRoundedRect(QRectF(dirty.x() + 2, dirty.y() + 2, dirty.width() - 3, dirty.height() - 3), 10, 10);
    painter.drawPath(path);
}

} // namespace TarvexReader
