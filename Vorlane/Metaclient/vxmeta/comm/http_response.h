// HttpResponse: the reply to one request as the executor hands it on: the header map the transport
// left, the body text, the HTTP status and the transport's error text.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "vxmeta/comm/http_request.h"

namespace VxMeta {

struct HttpResponse {
    HttpResponse(int32_t statusCode, std::string error) : status(statusCode), errorMessage(std::move(error)) {}

    HeaderMap headers;
    std::string body;
    int32_t status;
    std::string errorMessage; // empty when the exchange completed
};

using HttpResponsePtr = std::shared_ptr<HttpResponse>;

// The value of a header, its name compared without regard to ASCII case; null when absent.
const std::string* findHeader(const HeaderMap& headers, const std::string& name);

} // namespace VxMeta
