// VxMetaException: the one failure value the client library throws. Callers branch on its
// category text, reason text and HTTP status.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace VxMeta {

class VxMetaException : public std::exception {
public:
    std::string category;
    int64_t httpStatus = 0;
    std::string message;
    std::string request;    // method, blank, full URL, line end, then body and line end when present
    std::string response;   // raw reply body of the failed request
    std::string upgradeUrl; // where the service says to upgrade (forced upgrade only)
    std::string reason;     // the reply's "reason", or one of the VXMEREASON_ texts

    VxMetaException(std::string cat, std::string msg);
    VxMetaException(std::string cat, std::string msg, std::string why);
    VxMetaException(const VxMetaException&) = default;
    VxMetaException& operator=(const VxMetaException&) = default;
    ~VxMetaException() override;

    const char* what() const noexcept override;

    // Replaces category and message; status, request, response, upgrade URL and reason stay.
    void set(const std::string& cat, const std::string& msg);
};

} // namespace VxMeta
