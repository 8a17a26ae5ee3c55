// Fuzz target: the directory's replies, served as the body of the service's answer. The first byte
// chooses the request: bit 0 the recipient-key look-up (else the directory search by e-mail
// address), bit 1 a recipient-key reply left as it is (else the target signs it with the service
// key the library holds, so the reading behind the signature check is reached), bits 2 to 4 the
// look-up's batch limit. The rest is the reply body and the asked addresses (comma-separated),
// separated by kPart. The server check before a request is answered as the service answers it;
// further requests (identities read again, retries) end without a reply. The
// operation runs in the failover wrapper, as the library runs its operations; every run ends in an
// answer or a VxMetaException; the recipient-key answer has an entry for each address asked
// for and no other, and the search lists each identity once.
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <unordered_set>
#include <vector>

#include <json/value.h>

#include "fuzz_input.h"
#include "started_library.h"
#include "vxmeta/access/server_settings.h"
#include "vxmeta/api/raw_vorlane.h"
#include "vxmeta/comm/access_seam.h"
#include "vxmeta/comm/comm_io.h"
#include "vxmeta/comm/high_availability.h"
#include "vxmeta/crypto/rsa_keys.h"
#include "vxmeta/crypto/signatures.h"
#include "vxmeta/foundation/clock.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/xpid.h"
#include "vxmeta/sync/meta_state.h"

using namespace VxMeta;

namespace {

std::string servicePublic;
std::string servicePrivate;

std::string reply;
bool replied = false;

// The server check before a request is answered as the service answers it; the first request of
// the operation gets the reply, and every later exchange ends without an answer.
void transport(CommIO& io) {
    if (io.url.find("/etag/0") != std::string::npos) {
        static const std::string serverCheck = "{\"etag\":0,\"id\":0}";
        io.status = 200;
        io.setResponseData(reinterpret_cast<const uint8_t*>(serverCheck.data()), serverCheck.size());
        return;
    }
    if (replied) {
        io.status = 0;
        io.errorMessage = "no more replies";
        return;
    }
    replied = true;
    io.status = 200;
    io.setResponseData(reinterpret_cast<const uint8_t*>(reply.data()), reply.size());
}

// The body as the service signs it: an object's "signature" replaced by one over the rest.
std::string signedBody(const std::string& body) {
    Json::Value value;
    if (!mayParse(body, value) || !value.isObject()) return body;
    value.removeMember("signature");
    const std::string signature = signTextOther(jsonString(value), servicePrivate);
    value["signature"] = signature;
    return jsonString(value);
}

[[noreturn]] void broken(const char* what, const std::string& input) {
    std::fprintf(stderr, "%s: %s\n", what, input.c_str());
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    VxMetaFuzz::startLibrary(&transport);
    generateRSAKeys(servicePublic, servicePrivate);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t mode = data[0];
    const std::string rest = VxMetaFuzz::text(data + 1, size - 1);
    if (VxMetaFuzz::namesManyRounds(rest)) return -1;
    const std::vector<std::string> parts = VxMetaFuzz::split(rest, VxMetaFuzz::kPart, 2);
    const std::string& body = VxMetaFuzz::part(parts, 0);
    std::vector<std::string> emails;
    {
        const std::string& listed = VxMetaFuzz::part(parts, 1);
        emails = listed.empty() ? std::vector<std::string>{"a@example.test"} : VxMetaFuzz::split(listed, ',', 64);
    }

    // A fresh library state for every run, holding the service key and a recent data-memo pass.
    static RawVorlane api;
    mdClearAll(false);
    setMdsPubkey(servicePublic);
    netErrorCounter = 0;
    {
        LockScope lock(masterMutex);
        globalState.lastMemoTime = nowSeconds();
        globalState.satellitePolicy.recipients_lookup_max = (mode >> 2) & 7;
    }
    const bool recipientKeys = (mode & 1) != 0;
    reply = recipientKeys && (mode & 2) == 0 ? signedBody(body) : body;
    replied = false;

    try {
        // As the library's callers run an operation: inside the failover wrapper.
        if (recipientKeys) {
            const std::unordered_set<std::string> asked(emails.begin(), emails.end());
            const auto found = HighAvailability([&] { return api.lookupEmailRecipientKeys(asked, false); });
            if (found.size() != asked.size()) broken("the answer does not hold one entry per address asked for", rest);
            for (const auto& [email, identities] : found) {
                if (!asked.count(email)) broken("the answer holds an address nobody asked for", rest);
                for (const auto& identity : identities)
                    if (!identity) broken("the answer holds an empty identity", rest);
            }
        } else {
            const RecordListPtr<XPID> found = HighAvailability([&] { return api.lookupUsers(emails); });
            std::set<int64_t> ids;
            for (const std::shared_ptr<XPID>& identity : *found)
                if (!identity || !ids.insert(identity->id).second) broken("the search listed an identity twice", rest);
        }
    } catch (const VxMetaException&) {
        // refused as the library refuses replies
    }
    return 0;
}
