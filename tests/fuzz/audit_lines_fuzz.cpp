// Fuzz target: a host's audit-log lines grouped into chunks, as a signed-in user of an organisation
// with auditing on. The first byte chooses the settings: bit 0 the expanded event mode (else
// factored), bit 1 archives without encryption, bit 2 copies; the second the chunk's event limit
// (0 to 15); the third the byte limit (300 plus eight bytes a step). The rest is the lines,
// separated by kPart. Processing answers true or false and never fails otherwise; every chunk, as
// sent, stays within the byte limit and holds at most the event limit's number of step events.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <json/value.h>

#include "fuzz_input.h"
#include "started_library.h"
#include "vxmeta/access/server_settings.h"
#include "vxmeta/api/raw_vorlane.h"
#include "vxmeta/comm/access_seam.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/persists.h"
#include "vxmeta/sync/meta_state.h"

using namespace VxMeta;

namespace {

[[noreturn]] void broken(const char* what, const std::string& input, const Json::Value& chunk) {
    std::fprintf(stderr, "%s: %s\n%s\n", what, input.c_str(), jsonString(chunk).c_str());
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    VxMetaFuzz::startLibrary();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const uint8_t mode = data[0];
    const uint32_t maxEntries = data[1] % 16;
    const size_t maxBytes = 300 + 8 * static_cast<size_t>(data[2]);
    const std::string rest = VxMetaFuzz::text(data + 3, size - 3);
    const std::vector<std::string> lines = VxMetaFuzz::split(rest, VxMetaFuzz::kPart, 64);

    // A fresh library state for every run: signed in to an organisation's service, auditing on.
    static RawVorlane api;
    mdClearAll(false);
    setMdsPubkey("V2-organisation");
    {
        LockScope lock(masterMutex);
        globalState.myPrikey = "signed in";
        myPersists->auditLogEnabled = true;
        myPersists->auditLogTarget = mode & 1;
        myPersists->auditLogArchiveNonEncrypted = (mode & 2) != 0;
        myPersists->auditLogArchiveCopy = (mode & 4) != 0;
    }

    std::vector<Json::Value> chunks;
    try {
        api.processAuditLogEntries(lines, chunks, maxBytes, maxEntries);
    } catch (const VxMetaException& e) {
        std::fprintf(stderr, "processing failed: %s\n", e.message.c_str());
        std::abort();
    }
    for (const Json::Value& chunk : chunks) {
        if (jsonString(chunk).size() + 1 > maxBytes) broken("a chunk over the byte limit", rest, chunk);
        size_t steps = 0;
        for (const Json::Value& entry : chunk["entries"])
            if (!entry.isObject() || !entry.isMember("category") || entry["category"] != "factors") ++steps;
        if (steps > std::max<uint32_t>(maxEntries, 1)) broken("a chunk over the event limit", rest, chunk);
        if (steps == 0) broken("a chunk without step events", rest, chunk);
    }
    return 0;
}
