// The application's main window and its menu bar, as the windows that follow the account reach them:
// the start-up sets the main window once it is shown; both are null before that and after the
// window is gone. Main thread only.
#pragma once

class QMainWindow;
class QMenuBar;

namespace TarvexReader {

QMainWindow* applicationMainWindow();
void setApplicationMainWindow(QMainWindow* window);
// The main window's menu bar; null without a main window.
QMenuBar* applicationMainMenu();

} // namespace TarvexReader
