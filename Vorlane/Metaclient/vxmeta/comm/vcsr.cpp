#include "vxmeta/comm/vcsr.h"

#include <cctype>
#include <cstdio>

#include "vxmeta/comm/cluster_evaluator.h"
#include "vxmeta/comm/cluster_servers.h"
#include "vxmeta/comm/comm_io.h"
#include "vxmeta/comm/mfa_header.h"
#include "vxmeta/foundation/comm_log_entry.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/log.h"

namespace VxMeta {

const std::string VCSR::HEADER_AUTHORIZATION = "Authorization";
const std::string VCSR::HEADER_CAPABILITIES = "X-VX-Capabilities";
const std::string VCSR::HEADER_MFA = "X-VX-MFA";
const std::string VCSR::HEADER_MFA_TIMESTAMP_UPDATE = "X-VX-MFA-TU";
const TarvexProtocol::UrlPtr VCSR::CMDS_URL =
    TarvexProtocol::Url::newInstance("https://mds.tarvex.example/mds/api/v1.0/", std::string());

namespace {

std::string trimmed(const std::string& text) {
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && std::isspace(static_cast<unsigned char>(text[first]))) ++first;
    while (last > first && std::isspace(static_cast<unsigned char>(text[last - 1]))) --last;
    return text.substr(first, last - first);
}

std::string requestLine(const HttpRequest& request) { return request.method->name + " " + request.url->fullUrl; }

std::string capabilitiesHeader() {
    Json::Value capabilities(Json::objectValue);
    {
        LockScope scope(masterMutex);
        capabilities["MetaClientProtocol"] = 0;
        capabilities["Platform"] = platformType;
        capabilities["AppName"] = appName;
        capabilities["AppVersion"] = appVersion;
        if (!appCapabilities.empty()) {
            Json::Value list(Json::arrayValue);
            for (const std::string& capability : appCapabilities) list.append(capability);
            capabilities["AppCapabilities"] = list;
        }
    }
    return jsonString(capabilities);
}

} // namespace

VCSR::VCSR() : prefix(TarvexProtocol::Url::newInstance(std::string(), std::string())) {}

std::string VCSR::get(const std::string& path) {
    HttpRequest::Builder builder;
    builder.get();
    return performOp(builder, path);
}

std::string VCSR::post(const std::string& path, const std::string& body) {
    HttpRequest::Builder builder;
    builder.post(body);
    return performOp(builder, path);
}

std::string VCSR::put(const std::string& path, const std::string& body) {
    HttpRequest::Builder builder;
    builder.put(body);
    return performOp(builder, path);
}

std::string VCSR::del(const std::string& path) {
    HttpRequest::Builder builder;
    builder.del();
    return performOp(builder, path);
}

TarvexProtocol::UrlPtr VCSR::getPrefix() {
    if (!prefix->fullUrl.empty()) return prefix;
    ClusterEvaluatorPtr evaluator = getMyClusterEvaluator();
    evaluator->fetchClusterInfoIfNeeded();
    return evaluator->getServer()->url();
}

void VCSR::setPrefix(TarvexProtocol::UrlPtr server) {
    prefix = server ? std::move(server) : TarvexProtocol::Url::newInstance(std::string(), std::string());
}

std::string VCSR::performOp(HttpRequest::Builder& builder, const std::string& path) {
    TarvexProtocol::UrlPtr target = getPrefix();
    PerformOpServerPtr handle = getMyClusterServers()->getPerformOpServerForUrl(target);
    builder.url(target->withApiPathAndQuery(path));
    return performOpWithServer(handle, builder)->body;
}

HttpResponsePtr VCSR::performOpWithServer(const PerformOpServerPtr& handle, HttpRequest::Builder& builder) {
    if (useAccessToken) authorization = handle->getAccessToken();
    if (!authorization.empty()) builder.addHeader(HEADER_AUTHORIZATION, authorization);
    builder.addHeader(HEADER_MFA, getMfaHeader(MfaHeaderFields{}));
    HttpRequestPtr request = builder.build();
    try {
        HttpResponsePtr response = executeBusinessRules(request);
        handle->gotResponse(response);
        return response;
    } catch (const VxMetaException& failure) {
        if (prefix->fullUrl.empty()) handle->gotResponse(failure);
        throw;
    }
}

HttpResponsePtr VCSR::executeLogging(const HttpRequestPtr& request) {
    logRequest(request);
    ETimer timer;
    HttpResponsePtr response = executeNetwork(request);
    timer.stop();
    logResponse(response, timer, request);
    return response;
}

HttpResponsePtr VCSR::executeNetwork(const HttpRequestPtr& request) {
    NetAppCallback transport = netAppCallback.load();
    if (!transport) throw VxMetaException(VXMECAT_CLIENT, "Network application callback is null - cannot do I/O yet");

    CommLogEntry entry;
    CommIO io;
    io.implicitAuth = implicitAuth;
    io.method = request->method->name;
    io.url = request->url->fullUrl;
    entry.request = requestLine(*request) + "\n";
    if (!request->body.empty()) {
        io.contentType = "json";
        io.requestData.assign(request->body.begin(), request->body.end());
        entry.request += request->body + "\n";
    }
    io.headers = request->headers;
    io.headers[HEADER_CAPABILITIES] = capabilitiesHeader();

    assertMasterLockNotHeld("a request to the key service");
    transport(io);

    std::string error = trimmed(io.errorMessage);
    std::string body(io.responseData.begin(), io.responseData.end());
    std::size_t end = body.find_last_not_of('\0');
    body.resize(end == std::string::npos ? 0 : end + 1);

    entry.status = io.status;
    entry.response = body;
    CommLogEntry::setLast(entry);

    auto response = std::make_shared<HttpResponse>(io.status, std::move(error));
    response->body = std::move(body);
    response->headers = std::move(io.headers);
    return response;
}

void VCSR::logRequest(const HttpRequestPtr& request) {
    if (!logLevelOn(4)) return;
    std::string line = requestLine(*request);
    writeLog(4, "HTTP %s", line.c_str());
    if (!logLevelOn(5)) return;
    for (const auto& [name, value] : request->headers) {
        std::string shown = name == HEADER_AUTHORIZATION ? std::string(value.size(), '*') : value;
        writeLog(5, "\t%s: %s", name.c_str(), shown.c_str());
    }
    if (!request->body.empty()) writeLog(5, "Body for %s:\n  %s", line.c_str(), request->body.c_str());
}

void VCSR::logResponse(const HttpResponsePtr& response, const ETimer& timer, const HttpRequestPtr& request) {
    if (!logLevelOn(5)) return;
    std::string text = "RESPONSE to " + requestLine(*request);
    if (timer.duration > std::chrono::milliseconds(500)) {
        char seconds[64];
        std::snprintf(seconds, sizeof seconds, "%.3f", timer.elapsedSeconds());
        text += std::string("\n\tResponse time: ") + seconds + " seconds";
    }
    if (response->status != 200) text += "\n\tResponse code: " + std::to_string(response->status);
    if (!response->body.empty()) text += "\n\t" + response->body;
    writeLog(5, "%s", text.c_str());
}

bool netRelatedLogOK() {
    int count = ++netErrorCounter;
    if (count < 5) return true;
    if (count == 5 && logLevelOn(2)) {
        writeLog(2, "Too many network problems - further warnings are suppressed until the network functions again.");
    }
    return false;
}

} // namespace VxMeta
