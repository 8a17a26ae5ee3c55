// The framework's transport to the key service: the function the host installs in the library's
// transport hook. One HTTPS exchange per call over libcurl, synchronous, bounded by 10-second connect
// and total time-outs, with the server's certificate always verified. Connections and TLS sessions
// are kept between exchanges (kept_connections.h) until the CA setting or the library's server list
// changes; any number of threads may exchange at once. Nothing goes out in clear: a URL of another
// scheme ("http://" included) is refused unsent, and a URL without a scheme means HTTPS. A secure
// connection that fails (handshake, certificate or a refused scheme) is also announced on the
// default notification centre.
#pragma once

#include <string>

#include "vxmeta/comm/comm_io.h"

namespace VorlaneBridge {

// Sends the record's method, URL and headers (and, for POST and PUT only, its request bytes with the
// content type "application/" + its content word); writes back the HTTP status (0 when no reply
// arrived), the reply body, the reply headers (added to the header map, names compared without regard
// to case) and, for failed exchanges, an error text; "Device is most likely offline" when there is
// neither a status nor a reply byte. A transfer that fails part way keeps none of its bytes. Never
// throws.
void communicateWithMDS(VxMeta::CommIO& io);

// Certificate authorities to trust instead of the system's (a PEM file); empty: the system's. Setting
// it (even to the same path) closes the kept connections and forgets the TLS sessions.
void setTransportCaFile(const std::string& path);
std::string getTransportCaFile();

// How a failed exchange is reported.
enum class TransportFailure {
    SecureConnection, // the TLS handshake or the certificate failed, or the URL is not HTTPS: status 0, no text
    Offline,          // no network: status 404 with the transport's text
    Other,            // anything else: status 0, no text
};
// The class of a libcurl result code; `osErrno` is the system error of a failed connect.
TransportFailure classifyTransportFailure(int curlCode, long osErrno);

// The request and whole-exchange time-out.
inline constexpr double kDefaultTimeoutInSeconds = 10.0;
inline constexpr long kTransportTimeoutMillis = static_cast<long>(kDefaultTimeoutInSeconds * 1000);
// Posted when a secure connection failed; its user info holds the failure (a `Platform::Error` of
// domain kTransportErrorDomain, the libcurl result as code, libcurl's text as description) under
// kCallbackSecureConnectionError.
inline constexpr char kCallbackSecureConnectionFailed[] = "kCallbackSecureConnectionFailed";
inline constexpr char kCallbackSecureConnectionError[] = "kCallbackSecureConnectionError";
inline constexpr char kTransportErrorDomain[] = "VorlaneTransportErrorDomain";
// Header names of the key service's requests.
inline constexpr char kURLHeaderStringAuthentication[] = "Authorization";
inline constexpr char kURLHeaderStringPragma[] = "Pragma";
inline constexpr char kURLHeaderStringContentType[] = "Content-Type";
inline constexpr char kDeviceOffline[] = "Device is most likely offline";

} // namespace VorlaneBridge
