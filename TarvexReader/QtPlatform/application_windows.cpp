#include "TarvexReader/QtPlatform/application_windows.h"

#include <QMainWindow>
#include <QMenuBar>
#include <QPointer>

namespace TarvexReader {

namespace {
QPointer<QMainWindow>& mainWindowSlot() {
    static QPointer<QMainWindow> window;
    return window;
}
} // namespace

QMainWindow* applicationMainWindow() {
    return mainWindowSlot().data();
}

void setApplicationMainWindow(QMainWindow* window) {
    mainWindowSlot() = window;
}

QMenuBar* applicationMainMenu() {
    QMainWindow* window = applicationMainWindow();
    return window != nullptr ? window->menuBar() : nullptr;
}

} // namespace TarvexReader
