#include "TarvexReader/QtPlatform/plain_text.h"

#include <QWidget>

namespace TarvexReader {

void setPlainWindowTitle(QWidget* window, const QString& title) {
    // A window title treats "[*]" as the place of the modified mark; "[*][*]" shows one "[*]".
    QString literal = title;
    literal.replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
    window->setWindowTitle(literal);
}

QString escapedMarkup(const QString& text) {
    QString escaped;
    escaped.reserve(text.size());
    for (QChar c : text) {
        if (c == QLatin1Char('&')) {
            escaped += QStringLiteral("&amp;");
        } else if (c == QLatin1Char('<')) {
            escaped += QStringLiteral("&lt;");
        } else if (c == QLatin1Char('>')) {
            escaped += QStringLiteral("&gt;");
        } else {
            escaped += c;
        }
    }
    return escaped;
}

} // namespace TarvexReader
