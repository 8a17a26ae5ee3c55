// The open dialog: one ZIP archive at a time (files only), "Extract" on its default button, shown
// window-modal on a window. The chosen file goes to the delegate, if it still exists.
#pragma once

#include <QObject>
#include <QPointer>

#include "TarvexReader/Drop/drag_interfaces.h"

class QWidget;

namespace TarvexReader {

class OpenWidget : public QObject {
    Q_OBJECT
public:
    // `delegate` must be a QObject; it is held without owning it.
    explicit OpenWidget(OpenWidgetProtocol* delegate);

    void showOpenPanel(QWidget* window);

private:
    QPointer<QObject> delegateObject_;
    OpenWidgetProtocol* delegate_;
};

} // namespace TarvexReader
