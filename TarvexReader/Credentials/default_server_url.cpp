#include "TarvexReader/Credentials/default_server_url.h"

#include "Platform/process_setting.h"

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

Platform::ProcessSetting<std::optional<std::string>>& startedServerSetting() {
    static Platform::ProcessSetting<std::optional<std::string>> setting;
    return setting;
}

} // namespace

const std::string& defaultServerURL() {
    static const std::string url = appendingPathComponent(kDefaultServiceEndpoint, "mds");
    return url;
}

std::string startedServerURL() {
    return startedServerSetting().get().value_or(defaultServerURL());
}

void setStartedServerURL(const std::optional<std::string>& url) {
    if (url && (*url == defaultServerURL() || *url == defaultServerURL() + "/")) {
        startedServerSetting().set(std::nullopt);
        return;
    }
    startedServerSetting().set(url);
}

} // namespace TarvexReader
