// Resetting the library's in-memory state (mdClearAll is declared with the request pipeline, which
// calls it from below).
#pragma once

namespace VxMeta {

// Replaces every record and list of the dataset by a fresh one, in the dataset's order; whoever
// still holds an old record or list keeps it.
void vxmcClearAll();

} // namespace VxMeta
