// The main window's drop zone: it draws its outline (highlighted while an acceptable drag is over it)
// and forwards every dragging call to its receiver, which decides what is taken.
#pragma once

#include <memory>

#include <QWidget>

#include "TarvexReader/Drop/drag_interfaces.h"

namespace TarvexReader {

class CustomizableDraggingDestinationView : public QWidget {
    Q_OBJECT
public:
    explicit CustomizableDraggingDestinationView(QWidget* parent = nullptr);

    void setReceiver(std::unique_ptr<DropReceiver> receiver) { receiver_ = std::move(receiver); }
    DropReceiver* receiver() const { return receiver_.get(); }
    bool isReceivingDrag() const { return isReceivingDrag_; }

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void refreshFromReceiver();

    std::unique_ptr<DropReceiver> receiver_;
    bool isReceivingDrag_ = false;
};

} // namespace TarvexReader
