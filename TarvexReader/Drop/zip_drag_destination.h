// What the drop zone accepts: file URLs whose content is a ZIP archive (by its MIME type, read from the
// content). Accepted URLs go, in the drag's order, to the processor.
#pragma once

#include "TarvexReader/Drop/drag_interfaces.h"

namespace TarvexReader {

class ZIPDragDestination : public DropReceiver {
public:
    Qt::DropAction draggingEntered(const QMimeData* data) override;
    bool prepareForDragOperation(const QMimeData* data) override;
    bool performDragOperation(const QMimeData* data) override;
    void draggingExited() override;
    bool isReceivingDrag() const override { return isReceivingDrag_; }

    // Held without owning it (the main window, which owns the drop zone that owns this object); may be
    // none, and a drop is then taken without effect.
    DragProcessor* processor = nullptr;

    // The file URLs of the data whose content is a ZIP archive, in order.
    static QList<QUrl> readZIPArchiveURLs(const QMimeData* data);

private:
    bool isReceivingDrag_ = false;
};

} // namespace TarvexReader
