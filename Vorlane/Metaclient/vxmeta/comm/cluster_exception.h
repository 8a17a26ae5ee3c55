// ClusterException: the failover signal. A request whose server is down, or which must go to the
// cluster's master, throws it for the failover wrapper to repeat the whole operation. It is not a
// VxMetaException, so every handler of those lets it pass.
#pragma once

#include <exception>
#include <memory>

#include "vxmeta/foundation/exception.h"

namespace VxMeta {

class ClusterException : public std::exception {
public:
    explicit ClusterException(bool needMaster, std::shared_ptr<const VxMetaException> cause = nullptr);
    ClusterException(const ClusterException&) = default;
    ClusterException& operator=(const ClusterException&) = default;
    ~ClusterException() override;

    // Log "Need Master Exception" and throw ClusterException(true).
    [[noreturn]] static void needingMaster(const VxMetaException* cause = nullptr);
    // Log "Server is Down Exception" and throw ClusterException(false).
    [[noreturn]] static void serverIsDown(const VxMetaException* cause = nullptr);

    bool needMaster; // repeat on the master; false: the server is down, any other server will do
    // The failure that raised the signal; the failover wrapper reports it when it gives up.
    std::shared_ptr<const VxMetaException> cause;
};

} // namespace VxMeta
