// The interfaces between the drop zone, what decides on a drop, the open dialog and the objects that
// receive the chosen archives.
#pragma once

#include <QList>
#include <QUrl>
#include <Qt>

class QMimeData;

namespace TarvexReader {

// Whether a drag that can be accepted is over the view.
class DragReceiver {
public:
    virtual ~DragReceiver() = default;
    virtual bool isReceivingDrag() const = 0;
};

// The calls a drop zone forwards while something is dragged over it.
class DraggingDestination {
public:
    virtual ~DraggingDestination() = default;
    virtual Qt::DropAction draggingEntered(const QMimeData* data) = 0;
    virtual bool prepareForDragOperation(const QMimeData* data) = 0;
    virtual bool performDragOperation(const QMimeData* data) = 0;
    virtual void draggingExited() {}
};

// A receiver of the drop zone's calls: both a dragging destination and a drag receiver.
class DropReceiver : public DraggingDestination, public DragReceiver {};

class DragProcessor {
public:
    virtual ~DragProcessor() = default;
    // The dropped file URLs, in the order the drag held them.
    virtual void processDroppedURLs(const QList<QUrl>& urls) = 0;
};

// Implemented by QObjects only: the open dialog holds its delegate without owning it.
class OpenWidgetProtocol {
public:
    virtual ~OpenWidgetProtocol() = default;
    virtual void didChooseURLs(const QList<QUrl>& urls) = 0;
};

} // namespace TarvexReader
