// What the main window and the application hand archives to: one call per accepted archive.
#pragma once

#include <QUrl>

namespace TarvexReader {

class ItemsProcessor {
public:
    virtual ~ItemsProcessor() = default;
    // Main thread only; `url` is the file URL of one archive.
    virtual void processArchiveURL(const QUrl& url) = 0;
};

} // namespace TarvexReader
