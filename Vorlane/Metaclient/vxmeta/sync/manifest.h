// Manifest: the persisted store's integrity manifest and its bookkeeping, held in the global state:
// the names written or checked by the last save or restore, the records whose local changes the last
// changes-only save stored, and how many stored pairs the last restore verified. Plain values,
// copied with the state.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace VxMeta {

class VxMetadata;

class Manifest {
public:
    // Names of the pairs of the last save or restore, in ascending order.
    std::set<std::string> savedNames;
    // Records whose local changes the last changes-only save wrote.
    std::vector<std::shared_ptr<VxMetadata>> savedRecords;
    // Stored pairs the last restore checked.
    int32_t verifiedCount = 0;
};

} // namespace VxMeta
