// Fuzz target: reading records from a reply body. The first byte chooses one of the record classes;
// the rest is the body, read as the class queries read a list and as a single fetch reads one
// record. A body is read or refused with a VxMetaException; a record read is written in both its
// forms, and its local form, restored as from the store, writes the same text again.
#include <cstdio>
#include <cstdlib>

#include "fuzz_input.h"
#include "started_library.h"
#include "vxmeta/comm/comm_io.h"
#include "vxmeta/crypto/library_started.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/log.h"
#include "vxmeta/records/app.h"
#include "vxmeta/records/app_data.h"
#include "vxmeta/records/asset.h"
#include "vxmeta/records/asset_feature.h"
#include "vxmeta/records/asset_key.h"
#include "vxmeta/records/asset_request.h"
#include "vxmeta/records/asset_right.h"
#include "vxmeta/records/ca_join.h"
#include "vxmeta/records/chat_message.h"
#include "vxmeta/records/contingency_group.h"
#include "vxmeta/records/contingency_key.h"
#include "vxmeta/records/contingency_master_key.h"
#include "vxmeta/records/data_memo.h"
#include "vxmeta/records/deployment.h"
#include "vxmeta/records/device.h"
#include "vxmeta/records/etag.h"
#include "vxmeta/records/login_parameters.h"
#include "vxmeta/records/login_reset_response.h"
#include "vxmeta/records/mfa_pair.h"
#include "vxmeta/records/notification.h"
#include "vxmeta/records/persists.h"
#include "vxmeta/records/pid.h"
#include "vxmeta/records/record_query.h"
#include "vxmeta/records/satellite_policy.h"
#include "vxmeta/records/server.h"
#include "vxmeta/records/sid.h"
#include "vxmeta/records/signature_request.h"
#include "vxmeta/records/sproxy.h"
#include "vxmeta/records/team_authority.h"
#include "vxmeta/records/team_data.h"
#include "vxmeta/records/upload.h"
#include "vxmeta/records/user.h"
#include "vxmeta/records/xpid.h"

using namespace VxMeta;

namespace {

template <class T>
void writeAndRestore(T& record, bool utf8) {
    record.toJSON(true);
    const std::string local = record.toJSON(false);
    T restored;
    if (!restored.restore(local)) {
        std::fprintf(stderr, "%s: its own local form does not read: %s\n", record.stem(), local.c_str());
        std::abort();
    }
    // Texts that are not UTF-8 are written as U+FFFD and so cannot come back the same.
    if (utf8 && restored.toJSON(false) != local) {
        std::fprintf(stderr, "%s: local form changed across a restore:\n%s\n%s\n", record.stem(), local.c_str(),
                     restored.toJSON(false).c_str());
        std::abort();
    }
}

template <class T>
void readAs(const std::string& body) {
    Json::Value value;
    const bool json = mayParse(body, value);
    const bool utf8 = json && VxMetaFuzz::textsAreUtf8(value);
    if (json) {
        try {
            const RecordListPtr<T> list = listFromJSONValue<T>(value);
            for (const std::shared_ptr<T>& record : *list) writeAndRestore(*record, utf8);
        } catch (const VxMetaException&) {
        }
    }
    try {
        T record;
        if (record.fromJSON(body)) writeAndRestore(record, utf8);
    } catch (const VxMetaException&) {
    }
}

using Reader = void (*)(const std::string&);
const Reader readers[] = {
    readAs<App>,          readAs<AppData>,          readAs<Asset>,
    readAs<AssetFeature>, readAs<AssetKey>,         readAs<AssetRequest>,
    readAs<AssetRight>,   readAs<CAJoin>,           readAs<ChatMessage>,
    readAs<ContingencyGroup>, readAs<ContingencyKey>, readAs<ContingencyMasterKey>,
    readAs<DataMemo>,     readAs<Deployment>,       readAs<Device>,
    readAs<Etag>,         readAs<LoginParameters>,  readAs<LoginResetResponse>,
    readAs<MFAPair>,      readAs<Notification>,     readAs<Persists>,
    readAs<PID>,          readAs<SatellitePolicy>,  readAs<Server>,
    readAs<SID>,          readAs<SignatureRequest>, readAs<Sproxy>,
    readAs<TeamAuthority>, readAs<TeamData>,        readAs<Upload>,
    readAs<User>,         readAs<XPID>,
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    VxMetaFuzz::startLibrary();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const std::string body = VxMetaFuzz::text(data + 1, size - 1);
    readers[data[0] % std::size(readers)](body);
    return 0;
}
