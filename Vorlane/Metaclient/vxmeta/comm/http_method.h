// HttpMethod: the four HTTP methods the client sends. Exactly four instances exist; requests point
// to one of them and the transport reads its text.
#pragma once

#include <string>

namespace VxMeta {

class HttpMethod {
public:
    const std::string name;

    static const HttpMethod GET;
    static const HttpMethod POST;
    static const HttpMethod PUT;
    static const HttpMethod DEL; // "DELETE"

    HttpMethod(const HttpMethod&) = delete;
    HttpMethod& operator=(const HttpMethod&) = delete;

private:
    explicit HttpMethod(const char* text) : name(text) {}
};

} // namespace VxMeta
