#include "vxmeta/comm/url.h"

#include <cctype>
#include <functional>

namespace TarvexProtocol {

namespace {

// Whether the text begins with "scheme://" (a letter, then letters, digits, "+", "-" or ".").
bool hasScheme(const std::string& base) {
    std::size_t end = base.find("://");
    if (end == std::string::npos || end == 0) return false;
    if (!std::isalpha(static_cast<unsigned char>(base[0]))) return false;
    for (std::size_t i = 1; i < end; ++i) {
        const unsigned char c = static_cast<unsigned char>(base[i]);
        if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') return false;
    }
    return true;
}

// Where the search for "/api" starts: after "scheme://authority", so that a host name that begins
// with "api" stays whole.
std::size_t pathStart(const std::string& base) {
    std::size_t scheme = base.find("://");
    if (scheme == std::string::npos) return 0;
    std::size_t slash = base.find('/', scheme + 3);
    return slash == std::string::npos ? base.size() : slash;
}

} // namespace

Url::Url(Token, std::string base, std::string pathAndQuery, std::string full)
    : baseUrl(std::move(base)), apiPathAndQuery(std::move(pathAndQuery)), fullUrl(std::move(full)) {}

UrlPtr Url::newInstance(const std::string& base, const std::string& apiPathAndQuery) {
    // The service is spoken to over HTTPS only: a server named without a scheme is an HTTPS one.
    std::string server = base.empty() || hasScheme(base) ? base : "https://" + base;
    while (!server.empty() && server.back() == '/') server.pop_back();
    std::size_t api = server.find("/api", pathStart(server));
    if (api != std::string::npos) server.resize(api);

    std::string full;
    if (apiPathAndQuery.empty()) {
        full = server;
    } else if (apiPathAndQuery.front() == '/') {
        full = server + apiPathAndQuery;
    } else {
        full = server + "/api/v1.0/" + apiPathAndQuery;
    }
    return std::make_shared<const Url>(Token{}, std::move(server), apiPathAndQuery, std::move(full));
}

UrlPtr Url::withApiPathAndQuery(const std::string& path) const { return newInstance(baseUrl, path); }

bool operator==(const Url& a, const Url& b) { return a.fullUrl == b.fullUrl; }

std::size_t hash_value(const Url& url) { return std::hash<std::string>{}(url.fullUrl); }

bool operator==(const UrlPtr& a, const UrlPtr& b) {
    if (!a || !b) return !a && !b;
    return *a == *b;
}

std::size_t hash_value(const UrlPtr& url) { return hash_value(*url); }

} // namespace TarvexProtocol
