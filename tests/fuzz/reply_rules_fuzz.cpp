// Fuzz target: the reply rules of the request executor, over a run of replies the transport gives
// one after another (re-authorization, cluster refresh and MFA retries ask for more). The first
// byte chooses the request: bit 0 a fixed server (else the cluster chooses, reading the cluster
// documents the replies hold), bit 1 a POST (else a GET), bit 2 without the access token. The rest
// is the replies, separated by kReply; each is status, "X-VX-MFA-TU" value, body and transport
// error, separated by kPart. The request runs in the failover wrapper, as the library runs its
// requests; every run ends in a reply or a VxMetaException.
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "started_library.h"
#include "vxmeta/comm/access_seam.h"
#include "vxmeta/comm/comm_io.h"
#include "vxmeta/comm/high_availability.h"
#include "vxmeta/comm/mfa_header.h"
#include "vxmeta/comm/url.h"
#include "vxmeta/comm/vcsr.h"
#include "vxmeta/crypto/library_started.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/log.h"

using namespace VxMeta;

namespace {

struct Reply {
    int32_t status = 0;
    std::string timestampHeader;
    std::string body;
    std::string error;
};

std::vector<Reply> replies;
size_t nextReply = 0;

// Answers each exchange with the next reply; once they are used up, with a transport error.
void transport(CommIO& io) {
    if (nextReply >= replies.size()) {
        io.status = 0;
        io.errorMessage = "no more replies";
        return;
    }
    const Reply& reply = replies[nextReply++];
    io.status = reply.status;
    io.setResponseData(reinterpret_cast<const uint8_t*>(reply.body.data()), reply.body.size());
    io.errorMessage = reply.error;
    if (!reply.timestampHeader.empty()) io.headers[VCSR::HEADER_MFA_TIMESTAMP_UPDATE] = reply.timestampHeader;
}

// A status as decimal digits (at most three); anything else is 200.
int32_t statusOf(const std::string& text) {
    if (text.empty() || text.size() > 3) return 200;
    int32_t status = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return 200;
        status = status * 10 + (c - '0');
    }
    return status;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    VxMetaFuzz::startLibrary(&transport);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t mode = data[0];
    const std::string rest = VxMetaFuzz::text(data + 1, size - 1);
    if (VxMetaFuzz::namesManyRounds(rest)) return -1;

    replies.clear();
    nextReply = 0;
    for (const std::string& text : VxMetaFuzz::split(rest, VxMetaFuzz::kReply, 16)) {
        const std::vector<std::string> fields = VxMetaFuzz::split(text, VxMetaFuzz::kPart, 4);
        replies.push_back({statusOf(VxMetaFuzz::part(fields, 0)), VxMetaFuzz::part(fields, 1),
                           VxMetaFuzz::part(fields, 2), VxMetaFuzz::part(fields, 3)});
    }

    // A fresh library state for every run: default server, fresh cluster, nobody logged in.
    mdClearAll(false);
    setMfaTimestamp(Json::Value());
    netErrorCounter = 0;

    try {
        // As the library's callers run a request: inside the failover wrapper, a fresh executor per attempt.
        HighAvailability([mode] {
            VCSR executor;
            if (mode & 1) executor.setPrefix(TarvexProtocol::Url::newInstance("https://fuzz.test/api/", ""));
            executor.useAccessToken = (mode & 4) == 0;
            return (mode & 2) ? executor.post("records/", "{\"a\":1}") : executor.get("records/");
        });
    } catch (const VxMetaException&) {
        // refused as the rules refuse replies
    }
    return 0;
}
