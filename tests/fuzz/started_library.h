// What the fuzz targets over the client library share: the library started once, quietly, with a
// transport of the target's own or one through which no request leaves the process.
#pragma once

#include "vxmeta/comm/comm_io.h"
#include "vxmeta/crypto/library_started.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/log.h"

namespace VxMetaFuzz {

// Every exchange ends without a reply.
inline void offlineTransport(VxMeta::CommIO& io) {
    io.status = 0;
    io.errorMessage = "offline";
}

inline void startLibrary(VxMeta::NetAppCallback transport = &offlineTransport) {
    VxMeta::init();
    VxMeta::setLogLevel(0);
    VxMeta::netAppCallback = transport;
}

} // namespace VxMetaFuzz
