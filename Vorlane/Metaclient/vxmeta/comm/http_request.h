// HttpRequest: one immutable request to the key service (body, headers, method, target), and its
// Builder, the mutable form the request executor fills.
#pragma once

#include <memory>
#include <string>
#include <unordered_map>

#include "vxmeta/comm/http_method.h"
#include "vxmeta/comm/url.h"

namespace VxMeta {

using HeaderMap = std::unordered_map<std::string, std::string>;

class HttpRequest {
public:
    class Builder;

    // Copies the four; a null url is a VXMECAT_CLIENT failure "Url must not be null".
    HttpRequest(std::string body, HeaderMap headers, const HttpMethod* method, TarvexProtocol::UrlPtr url);

    // A builder holding copies of the four fields.
    Builder toBuilder() const;

    const std::string body;
    const HeaderMap headers;
    const HttpMethod* const method;
    const TarvexProtocol::UrlPtr url;
};

using HttpRequestPtr = std::shared_ptr<const HttpRequest>;

class HttpRequest::Builder {
public:
    // Empty body, no headers, GET, no url.
    Builder();

    Builder& post(const std::string& text); // body and POST
    Builder& put(const std::string& text);  // body and PUT
    Builder& get();                         // method only; the body stays
    Builder& del();                         // method only; the body stays
    Builder& url(TarvexProtocol::UrlPtr target); // null: VXMECAT_CLIENT "Url must not be null"
    Builder& addHeader(const std::string& name, const std::string& value); // inserts or replaces
    Builder& removeHeader(const std::string& name);
    HttpRequestPtr build() const;

    std::string body;
    HeaderMap headers;
    const HttpMethod* method;
    TarvexProtocol::UrlPtr target;
};

} // namespace VxMeta
