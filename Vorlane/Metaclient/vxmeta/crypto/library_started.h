// The library's one-time start as the cryptography layer sees it: signing, verifying and hashing may
// be the first calls into the library, so they call init first. Declared here, below the area that
// owns it; defined by access/library_start.cpp.
#pragma once

namespace VxMeta {

// Starts the library; only the first call does anything. Safe from any thread.
void init();

} // namespace VxMeta
