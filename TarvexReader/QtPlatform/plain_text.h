// Text from outside the application (archive and file names, the key service's messages) shown as
// it is. Labels that show such text are set to Qt::PlainText where they are made: read as rich text, a
// name like <img src="..."> would make the main thread read any file it names. Here: window titles
// that keep Qt's "[*]" placeholder as written, and bodies of desktop notifications with their markup
// characters escaped.
#pragma once

#include <QString>

class QWidget;

namespace TarvexReader {

// Sets the window title so that it shows `title` literally.
void setPlainWindowTitle(QWidget* window, const QString& title);
// `text` with "&", "<" and ">" as entities, for a notification body that a server may read as markup.
QString escapedMarkup(const QString& text);

} // namespace TarvexReader
