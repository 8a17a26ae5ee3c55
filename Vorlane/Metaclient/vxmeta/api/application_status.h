// ApplicationStatus: one status that the host application registered under a kind and a reference
// URN, to be reported to the service with the synchronization.
#pragma once

#include <string>

namespace VxMeta {

class ApplicationStatus {
public:
    ApplicationStatus(std::string kind, std::string version, std::string refurn);

    const std::string kind;
    const std::string version;
    const std::string refurn;
};

} // namespace VxMeta
