// Names for items that would collide at the destination: "report.pdf" becomes "report copy.pdf", then
// "report copy 2.pdf", "report copy 3.pdf" and so on, the extension kept. The engine asks again while
// the proposed name collides too, so successive questions walk the sequence. No state.
#pragma once

#include <optional>
#include <string>

#include "Zentile/zip_filter_delegate.h"

namespace TarvexReader {

class ReaderZIPFilterDelegate : public Zentile::ZIPFilterDelegate {
public:
    // Action 1: the next copy name of the leaf name; any other action, or no name: the empty text
    // (the engine then keeps the name).
    std::optional<std::string> onReplaceItem(const std::optional<std::string>& item, std::uint32_t action) override;

    // The first component's next copy name, then "." and the last component when there are several.
    static std::string collisionName(const std::string& name);
    // "b copy", "b copy 2" after "b copy", "b copy N+1" after "b copy N".
    static std::string nextCopyName(const std::string& base);
};

} // namespace TarvexReader
