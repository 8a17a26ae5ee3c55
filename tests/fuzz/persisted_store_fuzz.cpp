// Fuzz target: restoring the persisted store. The input after its first byte is a stored list: pairs
// separated by 0x1E, each a name and a value separated by 0x1F. With the first byte odd, the target
// drops any "m-" pair and appends a manifest it writes over the pairs, so the run reaches the reading
// of the records themselves; with it even, the list is restored as given and the manifest is checked
// as stored. A list is restored or refused with a VxMetaException; a list refused as invalid
// metadata leaves an empty dataset (a record reader's own refusal of a checked value passes on as
// raised, and what was restored before it stays). After a restore the target plays the host: it holds the restored pairs and applies a
// changes-only save to them (a save may be refused with a VxMetaException when a record it must sign
// cannot be signed); what it then holds must restore, and the next changes-only save must succeed and
// leave every pair as it is.
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>

#include "fuzz_input.h"
#include "started_library.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/sync/manifest.h"
#include "vxmeta/sync/persisted_store.h"

using namespace VxMeta;

namespace {

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "%s\n", what.c_str());
    std::abort();
}

using Held = std::map<std::string, std::string>;

// The host applies a list: an empty value removes the pair of that name, any other value sets it.
void hostApplies(Held& held, const SerialList& list) {
    for (const std::shared_ptr<Serial>& pair : list) {
        if (pair->value.empty()) held.erase(pair->name);
        else held[pair->name] = pair->value;
    }
}

SerialList listOf(const Held& held) {
    SerialList list;
    for (const auto& [name, value] : held) list.push_back(std::make_shared<Serial>(name, value));
    return list;
}

// The pairs of a list other than "m-", by name (a saved list names each pair once).
Held pairsOf(const SerialList& list) {
    Held pairs;
    for (const std::shared_ptr<Serial>& pair : list) {
        if (pair->name == "m-") continue;
        if (!pairs.emplace(pair->name, pair->value).second) fail("a save names a pair twice: " + pair->name);
    }
    return pairs;
}

// Whether a pair of the list holds a value that is not a JSON object. Under a manifest that vouches
// for it (only a forged one can), such a value restores as a blank record, which the next save writes
// under another name: the round trip below holds only for lists whose values all read.
bool holdsUnreadableValue(const SerialList& list) {
    for (const std::shared_ptr<Serial>& pair : list) {
        Json::Value value;
        if (pair->name != "m-" && !(mayParse(pair->value, value) && value.isObject())) return true;
    }
    return false;
}

void expectEmptyDataset() {
    LockScope lock(masterMutex);
    if (!myDeployments->empty() || !myApps->empty() || !myXPIDs->empty() || !myCAJoins->empty() ||
        !myAssets->empty() || !myRights->empty() || !myKeys->empty() || !myRequests->empty() ||
        !myFeatures->empty() || !myAppDatas->empty() || !myTeamDatas->empty() || !myUploads->empty() ||
        !myMFAPairs->empty() || !myTeamAuthorities->empty()) {
        fail("a refused list left records behind");
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    VxMetaFuzz::startLibrary();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const bool sign = data[0] & 1;
    SerialList list;
    Manifest written;
    const std::string input = VxMetaFuzz::text(data + 1, size - 1);
    if (!input.empty()) {
        for (const std::string& pair : VxMetaFuzz::split(input, VxMetaFuzz::kReply, 256)) {
            const std::vector<std::string> parts = VxMetaFuzz::split(pair, VxMetaFuzz::kPart, 2);
            const std::string& name = VxMetaFuzz::part(parts, 0);
            const std::string& value = VxMetaFuzz::part(parts, 1);
            if (VxMetaFuzz::namesManyRounds(value)) return 0;
            if (sign && name == "m-") continue;
            list.push_back(std::make_shared<Serial>(name, value));
            if (sign) written.store(name, value);
        }
    }
    if (sign && !list.empty()) list.push_back(std::make_shared<Serial>("m-", written.toJson()));

    try {
        restoreAll(list);
    } catch (const VxMetaException& e) {
        if (e.category == VXMECAT_INVALID_METADATA) expectEmptyDataset();
        return 0;
    }

    if (sign && holdsUnreadableValue(list)) return 0;

    Held held;
    hostApplies(held, list);
    SerialListPtr changes;
    try {
        changes = serializeAll(true);
    } catch (const VxMetaException&) {
        // A changed signed record without a signature is signed as it is written; with the own
        // identity's public key known and no private key held (nobody signed in since the restore)
        // that is refused, and so is the save.
        return 0;
    }
    hostApplies(held, *changes);
    try {
        restoreAll(listOf(held));
    } catch (const VxMetaException& e) {
        fail(std::string("a restored store, saved, does not restore: ") + e.what());
    }
    Held again = held;
    hostApplies(again, *serializeAll(true));
    if (pairsOf(listOf(held)) != pairsOf(listOf(again))) fail("a store changed across a save and restore");
    return 0;
}
