#include "TarvexReader/Drop/zip_drag_destination.h"

#include <QFileInfo>
#include <QMimeData>
#include <QMimeDatabase>

namespace TarvexReader {

namespace {
const QString kZIPArchiveType = QStringLiteral("application/zip");

bool isZIPArchive(const QUrl& url) {
    if (!url.isLocalFile()) {
        return false;
    }
    const QFileInfo info(url.toLocalFile());
    if (!info.isFile()) {
        return false;
    }
    return QMimeDatabase().mimeTypeForFile(info, QMimeDatabase::MatchContent).inherits(kZIPArchiveType);
}
} // namespace

QList<QUrl> ZIPDragDestination::readZIPArchiveURLs(const QMimeData* data) {
    QList<QUrl> accepted;
    if (data == nullptr || !data->hasUrls()) {
        return accepted;
    }
    for (const QUrl& url : data->urls()) {
        if (isZIPArchive(url)) {
            accepted.append(url);
        }
    }
    return accepted;
}

Qt::DropAction ZIPDragDestination::draggingEntered(const QMimeData* data) {
    isReceivingDrag_ = !readZIPArchiveURLs(data).isEmpty();
    return isReceivingDrag_ ? Qt::CopyAction : Qt::IgnoreAction;
}

bool ZIPDragDestination::prepareForDragOperation(const QMimeData* data) {
    return !readZIPArchiveURLs(data).isEmpty();
}

bool ZIPDragDestination::performDragOperation(const QMimeData* data) {
    isReceivingDrag_ = false;
    const QList<QUrl> urls = readZIPArchiveURLs(data);
    if (urls.isEmpty()) {
        return false;
    }
    if (processor != nullptr) {
        processor->processDroppedURLs(urls);
    }
    return true;
}

void ZIPDragDestination::draggingExited() {
    isReceivingDrag_ = false;
}

} // namespace TarvexReader
