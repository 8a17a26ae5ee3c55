// VCSR: the request executor. One per logical operation, on the caller's stack: it picks the server
// (the cluster's choice, or a fixed one), adds the request headers, sends through the host's transport
// hook, applies the reply rules and reports the outcome to the cluster. Every request is synchronous.
#pragma once

#include <cstdint>
#include <string>

#include <json/value.h>

#include "vxmeta/comm/etimer.h"
#include "vxmeta/comm/http_request.h"
#include "vxmeta/comm/http_response.h"
#include "vxmeta/comm/perform_op_server.h"
#include "vxmeta/comm/url.h"
#include "vxmeta/foundation/exception.h"

namespace VxMeta {

class VCSR {
public:
    static const std::string HEADER_AUTHORIZATION;        // "Authorization"
    static const std::string HEADER_CAPABILITIES;         // "X-VX-Capabilities"
    static const std::string HEADER_MFA;                  // "X-VX-MFA"
    static const std::string HEADER_MFA_TIMESTAMP_UPDATE; // "X-VX-MFA-TU", a reply header
    // The default service, which the cluster starts from and returns to.
    static const TarvexProtocol::UrlPtr CMDS_URL;

    VCSR();

    // The reply body of a request to the API path; failures are thrown.
    std::string get(const std::string& path);
    std::string post(const std::string& path, const std::string& body);
    std::string put(const std::string& path, const std::string& body);
    std::string del(const std::string& path);

    // The fixed server, or the cluster's choice after refreshing the cluster document when due.
    TarvexProtocol::UrlPtr getPrefix();
    // Fixes the server: no cluster selection, and failures are not reported to the cluster.
    void setPrefix(TarvexProtocol::UrlPtr server);

    // Sends a built request to the handle's server with the handle's access token and the MFA
    // header, applies the reply rules and reports the outcome to the server (failures only when
    // the server is not fixed).
    HttpResponsePtr performOpWithServer(const PerformOpServerPtr& handle, HttpRequest::Builder& builder);
    // Obtains an access token for the account on this executor's server and keeps it for the server;
    // returns the account id (the service's, when `accountId` is 0).
    int64_t getAccessToken(int64_t accountId, const std::string& email);

    std::string authorization; // "Authorization" value; sent whenever not empty
    int32_t lastStatus = 0;    // HTTP status of the last reply received
    bool useAccessToken = true;
    bool implicitAuth = false;
    TarvexProtocol::UrlPtr prefix; // fixed server; an empty full URL lets the cluster choose

private:
    // The pipeline steps, in the order a request passes them (vcsr.cpp, reply_rules.cpp);
    // vcsr_steps.h opens two of them to the executor's tests.
    friend struct VCSRSteps;

    std::string performOp(HttpRequest::Builder& builder, const std::string& path);
    // The reply rules: a reply the service accepted (2xx with a JSON body), possibly after a
    // re-authorization or MFA retries; every other outcome is thrown as a VxMetaException.
    HttpResponsePtr executeBusinessRules(const HttpRequestPtr& request);
    HttpResponsePtr executeLogging(const HttpRequestPtr& request);
    HttpResponsePtr executeNetwork(const HttpRequestPtr& request);
    void logRequest(const HttpRequestPtr& request);
    void logResponse(const HttpResponsePtr& response, const ETimer& timer, const HttpRequestPtr& request);
    HttpResponsePtr refusedForMfa(const HttpRequestPtr& request, const Json::Value& refusal, VxMetaException& failure);
};

// Counts one network problem; true while the caller should still log it (the first four in a row).
bool netRelatedLogOK();

} // namespace VxMeta
