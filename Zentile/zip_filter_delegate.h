// The filter delegate: asked for a new name when an item to be written collides with one that exists.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace Zentile {

// Actions of the filter question.
enum ZIPFilterAction : std::uint32_t {
    ZIPFilterReplaceColliding = 1, // the item's name collides at the destination: give a new leaf name
};

class ZIPFilterDelegate {
public:
    virtual ~ZIPFilterDelegate() = default;

    // `item` is the colliding leaf name. Answers the replacement leaf name, or none (or an empty
    // text) to keep the name. The engine accepts only one safe path component and asks again while the
    // proposed name collides too.
    virtual std::optional<std::string> onReplaceItem(const std::optional<std::string>& item,
                                                     std::uint32_t action) = 0;
};

} // namespace Zentile
