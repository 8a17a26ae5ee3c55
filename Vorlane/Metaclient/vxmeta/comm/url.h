// Url: the address of one request to the key service: the server base, the API path with its query,
// and the full URL that is sent. Immutable; two values are equal when their full URLs are.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace TarvexProtocol {

class Url;
using UrlPtr = std::shared_ptr<const Url>;

class Url {
    struct Token {};

public:
    // The server base is `base` ("https://" put before it when it names no scheme) without trailing
    // "/" and cut before the first "/api" that follows the scheme and authority. A path beginning with "/" is taken from the server root, any other
    // non-empty path lands under "/api/v1.0/".
    static UrlPtr newInstance(const std::string& base, const std::string& apiPathAndQuery);

    // The same server with another API path.
    UrlPtr withApiPathAndQuery(const std::string& apiPathAndQuery) const;

    Url(Token, std::string base, std::string pathAndQuery, std::string full);

    const std::string baseUrl;
    const std::string apiPathAndQuery;
    const std::string fullUrl;
};

bool operator==(const Url& a, const Url& b);
std::size_t hash_value(const Url& url);
// Shared pointers compare by value: both null, or both set with equal full URLs. The hash of a
// pointer is the hash of its value (a null pointer is never a key).
bool operator==(const UrlPtr& a, const UrlPtr& b);
std::size_t hash_value(const UrlPtr& url);

// Hash and equality of shared pointers by the values they point to, for unordered containers.
struct UrlPtrHash {
    std::size_t operator()(const UrlPtr& url) const { return hash_value(url); }
};
struct UrlPtrEqual {
    bool operator()(const UrlPtr& a, const UrlPtr& b) const { return a == b; }
};

} // namespace TarvexProtocol
