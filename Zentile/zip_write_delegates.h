// The delegates of the writing actions (encrypting, resolving duplicates when adding). This engine
// writes no archives, so it never calls them; a delegate bundle may still carry them.
#pragma once

namespace Zentile {

class ZIPEncryptDelegate {
public:
    virtual ~ZIPEncryptDelegate() = default;
};

class ZIPDuplicateDelegate {
public:
    virtual ~ZIPDuplicateDelegate() = default;
};

} // namespace Zentile
