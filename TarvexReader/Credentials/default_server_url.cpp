#include "TarvexReader/Credentials/default_server_url.h"

namespace TarvexReader {
namespace {

// The service's default endpoint; the client library's default server lives below it.
constexpr char kDefaultServiceEndpoint[] = "https://mds.tarvex.example/";

std::string appendingPathComponent(std::string url, const std::string& component) {
    if (url.empty() || url.back() != '/') {
        url += '/';
    }
    return url + component;
}

} // namespace

const std::string& defaultServerURL() {
    static const std::string url = appendingPathComponent(kDefaultServiceEndpoint, "mds");
    return url;
}

} // namespace TarvexReader
