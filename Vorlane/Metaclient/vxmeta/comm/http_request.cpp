#include "vxmeta/comm/http_request.h"

#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"

namespace VxMeta {

namespace {

TarvexProtocol::UrlPtr checkedUrl(TarvexProtocol::UrlPtr url) {
    if (!url) throw VxMetaException(VXMECAT_CLIENT, "Url must not be null");
    return url;
}

} // namespace

HttpRequest::HttpRequest(std::string text, HeaderMap map, const HttpMethod* verb, TarvexProtocol::UrlPtr target)
    : body(std::move(text)), headers(std::move(map)), method(verb), url(checkedUrl(std::move(target))) {}

HttpRequest::Builder HttpRequest::toBuilder() const {
    Builder builder;
    builder.body = body;
    builder.headers = headers;
    builder.method = method;
    builder.target = url;
    return builder;
}

HttpRequest::Builder::Builder() : method(&HttpMethod::GET) {}

HttpRequest::Builder& HttpRequest::Builder::post(const std::string& text) {
    body = text;
    method = &HttpMethod::POST;
    return *this;
}

HttpRequest::Builder& HttpRequest::Builder::put(const std::string& text) {
    body = text;
    method = &HttpMethod::PUT;
    return *this;
}

HttpRequest::Builder& HttpRequest::Builder::get() {
    method = &HttpMethod::GET;
    return *this;
}

HttpRequest::Builder& HttpRequest::Builder::del() {
    method = &HttpMethod::DEL;
    return *this;
}

HttpRequest::Builder& HttpRequest::Builder::url(TarvexProtocol::UrlPtr newTarget) {
    target = checkedUrl(std::move(newTarget));
    return *this;
}

HttpRequest::Builder& HttpRequest::Builder::addHeader(const std::string& name, const std::string& value) {
    headers[name] = value;
    return *this;
}

HttpRequest::Builder& HttpRequest::Builder::removeHeader(const std::string& name) {
    headers.erase(name);
    return *this;
}

HttpRequestPtr HttpRequest::Builder::build() const {
    return std::make_shared<const HttpRequest>(body, headers, method, target);
}

} // namespace VxMeta
