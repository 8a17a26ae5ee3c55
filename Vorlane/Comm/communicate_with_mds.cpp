#include "Vorlane/Comm/communicate_with_mds.h"

#include <algorithm>
#include <cerrno>
#include <memory>
#include <optional>
#include <unordered_map>

#include <curl/curl.h>

#include "Platform/error.h"
#include "Platform/notification_center.h"
#include "Vorlane/Comm/kept_connections.h"
#include "vxmeta/comm/cluster_evaluator.h"
#include "vxmeta/foundation/text.h"

namespace VorlaneBridge {

namespace {

void globalInit() {
    static const CURLcode initialized = curl_global_init(CURL_GLOBAL_DEFAULT);
    (void)initialized;
}

struct ListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

struct Exchange {
    std::vector<uint8_t> body;
    std::vector<std::pair<std::string, std::string>> headers; // of the last response
};

size_t onBody(char* data, size_t size, size_t count, void* user) {
    auto* exchange = static_cast<Exchange*>(user);
    exchange->body.insert(exchange->body.end(), data, data + size * count);
    return size * count;
}

std::string trimmed(std::string_view text) {
    size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return std::string();
    size_t last = text.find_last_not_of(" \t\r\n");
    return std::string(text.substr(first, last - first + 1));
}

size_t onHeader(char* data, size_t size, size_t count, void* user) {
    auto* exchange = static_cast<Exchange*>(user);
    std::string_view line(data, size * count);
    if (line.rfind("HTTP/", 0) == 0) {
        exchange->headers.clear(); // a new response (after an interim one): only the last one counts
        return size * count;
    }
    size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0) return size * count;
    exchange->headers.emplace_back(trimmed(line.substr(0, colon)), trimmed(line.substr(colon + 1)));
    return size * count;
}

bool isSafeHeaderText(const std::string& text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos;
}

bool isMethodWord(const std::string& method) {
    if (method.empty()) return false;
    for (char c : method) {
        if (c < 'A' || c > 'Z') return false;
    }
    return true;
}

// Adds the reply headers to the record's map: a name already there, in any case, is replaced; a
// name the reply repeats keeps every value, joined by ", ". Names are matched through their folded
// forms, so a reply with many headers costs no more than its length.
void mergeReplyHeaders(VxMeta::CommIO& io, const Exchange& exchange) {
    std::vector<std::pair<std::string, std::string>> merged;
    std::unordered_map<std::string, std::size_t> byFoldedName;
    for (const auto& [name, value] : exchange.headers) {
        auto [entry, added] = byFoldedName.emplace(VxMeta::canocase(name), merged.size());
        if (added) {
            merged.emplace_back(name, value);
        } else {
            merged[entry->second].second.append(", ").append(value);
        }
    }
    if (merged.empty()) return;
    for (auto it = io.headers.begin(); it != io.headers.end();) {
        it = byFoldedName.count(VxMeta::canocase(it->first)) != 0 ? io.headers.erase(it) : std::next(it);
    }
    for (auto& [name, value] : merged) io.headers.emplace(std::move(name), std::move(value));
}

} // namespace

void setTransportCaFile(const std::string& path) {
    globalInit();
    KeptConnections::instance().setCaFile(path);
}

std::string getTransportCaFile() { return KeptConnections::instance().caFile(); }

TransportFailure classifyTransportFailure(int curlCode, long osErrno) {
    switch (static_cast<CURLcode>(curlCode)) {
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_USE_SSL_FAILED:
    case CURLE_UNSUPPORTED_PROTOCOL: // a URL that is not HTTPS
        return TransportFailure::SecureConnection;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        return TransportFailure::Offline;
    case CURLE_COULDNT_CONNECT:
        return osErrno == ENETUNREACH || osErrno == ENETDOWN ? TransportFailure::Offline : TransportFailure::Other;
    default:
        return TransportFailure::Other;
    }
}

void communicateWithMDS(VxMeta::CommIO& io) {
    globalInit();
    Exchange exchange;
    long status = 0;
    std::optional<std::string> error;

    std::unique_ptr<curl_slist, ListDeleter> headers;
    bool usable = isMethodWord(io.method);
    auto addHeader = [&](const std::string& line) {
        curl_slist* grown = curl_slist_append(headers.get(), line.c_str());
        if (!grown) {
            usable = false;
            return;
        }
        (void)headers.release();
        headers.reset(grown);
    };
    bool withBody = io.method == "POST" || io.method == "PUT";
    for (const auto& [name, value] : io.headers) {
        if (name.empty() || !isSafeHeaderText(name) || !isSafeHeaderText(value) || name.find(':') != std::string::npos) {
            usable = false; // a header that would split the request is never sent
            break;
        }
        if (VxMeta::eq(name, "Content-Type")) continue; // set last, from the content word
        addHeader(value.empty() ? name + ";" : name + ": " + value);
    }
    // Without a content word no Content-Type goes out (not even libcurl's form default).
    addHeader(withBody && !io.contentType.empty() && isSafeHeaderText(io.contentType)
                  ? "Content-Type: application/" + io.contentType
                  : "Content-Type:");
    addHeader("Expect:");

    // Taken after the request is known to be sendable; the server list is read before the handle, so
    // an exchange that starts after a change never uses a connection kept from before it.
    std::optional<KeptConnections::Lease> lease;
    if (usable) lease.emplace(KeptConnections::instance().take(VxMeta::serverListChanges()));
    if (lease && lease->handle()) {
        CURL* handle = lease->handle();
        char errorText[CURL_ERROR_SIZE] = {0};
        const std::string& ca = lease->caFile();
        bool configured =
            curl_easy_setopt(handle, CURLOPT_URL, io.url.c_str()) == CURLE_OK &&
            // HTTPS only: a plain "http://" URL is refused before anything is sent (reported as a
            // failed secure connection), and a URL without a scheme is an HTTPS one.
            curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "https") == CURLE_OK &&
            curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "https") == CURLE_OK &&
            curl_easy_setopt(handle, CURLOPT_DEFAULT_PROTOCOL, "https") == CURLE_OK &&
            curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
            curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, kTransportTimeoutMillis) == CURLE_OK &&
            curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, kTransportTimeoutMillis) == CURLE_OK &&
            curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L) == CURLE_OK &&
            curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L) == CURLE_OK &&
            (ca.empty() || curl_easy_setopt(handle, CURLOPT_CAINFO, ca.c_str()) == CURLE_OK) &&
            curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorText) == CURLE_OK &&
            curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get()) == CURLE_OK &&
            curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, onBody) == CURLE_OK &&
            curl_easy_setopt(handle, CURLOPT_WRITEDATA, &exchange) == CURLE_OK &&
            curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, onHeader) == CURLE_OK &&
            curl_easy_setopt(handle, CURLOPT_HEADERDATA, &exchange) == CURLE_OK;
        if (configured) {
            if (io.method == "GET") {
                configured = curl_easy_setopt(handle, CURLOPT_HTTPGET, 1L) == CURLE_OK;
            } else if (withBody) {
                // POSTFIELDS sends the bytes as they are (they outlive the transfer); PUT reuses it.
                // A POST goes on a new connection (its TLS session resumed): libcurl sends a request
                // again when a kept connection closes without a reply, and a POST must never reach the
                // service twice.
                static const char kNoBytes[] = "";
                const char* bytes = io.requestData.empty() ? kNoBytes : reinterpret_cast<const char*>(io.requestData.data());
                configured = curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE,
                                              static_cast<curl_off_t>(io.requestData.size())) == CURLE_OK &&
                             curl_easy_setopt(handle, CURLOPT_POSTFIELDS, bytes) == CURLE_OK &&
                             (io.method == "POST" ? curl_easy_setopt(handle, CURLOPT_FRESH_CONNECT, 1L) == CURLE_OK
                                                  : curl_easy_setopt(handle, CURLOPT_CUSTOMREQUEST, "PUT") == CURLE_OK);
            } else {
                configured = curl_easy_setopt(handle, CURLOPT_CUSTOMREQUEST, io.method.c_str()) == CURLE_OK;
            }
        }
        if (configured) {
            CURLcode result = curl_easy_perform(handle);
            if (result == CURLE_OK) {
                curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
            } else {
                // A failed transfer is no reply, even when part of a body arrived before it failed.
                exchange.body.clear();
                long osErrno = 0;
                curl_easy_getinfo(handle, CURLINFO_OS_ERRNO, &osErrno);
                const std::string text = errorText[0] != '\0' ? std::string(errorText) : std::string(curl_easy_strerror(result));
                switch (classifyTransportFailure(result, osErrno)) {
                case TransportFailure::Offline:
                    status = 404;
                    error = text;
                    break;
                case TransportFailure::SecureConnection:
                    Platform::NotificationCenter::defaultCenter().post(
                        kCallbackSecureConnectionFailed, &exchange,
                        {{kCallbackSecureConnectionError,
                          Platform::Error(kTransportErrorDomain, static_cast<long>(result),
                                          {{Platform::kLocalizedDescriptionKey, text}})}});
                    break;
                case TransportFailure::Other:
                    break;
                }
            }
        }
    }

    io.status = static_cast<int32_t>(status);
    io.responseData = std::move(exchange.body);
    if (error) io.errorMessage = *error;
    if (status == 0 && io.responseData.empty()) io.errorMessage = kDeviceOffline;
    if (status != 0) mergeReplyHeaders(io, exchange);
}

} // namespace VorlaneBridge
