// The request executor's inner steps that its tests drive one at a time (the network step, the
// reply log). Internal to comm/: the library sends requests through VCSR's public operations.
#pragma once

#include "vxmeta/comm/etimer.h"
#include "vxmeta/comm/http_request.h"
#include "vxmeta/comm/http_response.h"
#include "vxmeta/comm/vcsr.h"

namespace VxMeta {

struct VCSRSteps {
    // One exchange through the transport hook, without reply rules or logging.
    static HttpResponsePtr executeNetwork(VCSR& executor, const HttpRequestPtr& request) {
        return executor.executeNetwork(request);
    }
    // The log lines of a reply.
    static void logResponse(VCSR& executor, const HttpResponsePtr& response, const ETimer& timer,
                            const HttpRequestPtr& request) {
        executor.logResponse(response, timer, request);
    }
};

} // namespace VxMeta
