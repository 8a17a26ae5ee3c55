#include "vxmeta/records/contingency_master_key.h"

#include <utility>

#include "vxmeta/crypto/signatures.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/text.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/team_data.h"

namespace VxMeta {

const RecordSchema<ContingencyMasterKey>& ContingencyMasterKey::schema() {
    static const RecordSchema<ContingencyMasterKey> table{
        "contingencymasterkey",
        &ContingencyMasterKey::signature,
        {
            field<&ContingencyMasterKey::created_at>("created_at", LocalOnly),
            field<&ContingencyMasterKey::updated_at>("updated_at", LocalOnly),
            field<&ContingencyMasterKey::recipient>("recipient", InRecord),
            field<&ContingencyMasterKey::keymaterial>("keymaterial", InRecord),
            field<&ContingencyMasterKey::ca>("ca", InRecord),
            field<&ContingencyMasterKey::id>("id"),
        },
    };
    return table;
}

std::string ContingencyMasterKey::idstr() const { return idStr(id); }

std::string ContingencyMasterKey::geturn() const { return recipient + "-" + urnxsafe(canocase(ca)); }

bool ContingencyMasterKey::verifySignature() {
    return verifyTextNoExceptions(recordText, signature, getSignerPublicKey());
}

std::string ContingencyMasterKey::getSignerPublicKey() const {
    LockScope lock(masterMutex);
    if (!myTeamDatas) return std::string();
    for (const std::shared_ptr<TeamData>& datum : *myTeamDatas) {
        if (datum && datum->kind == "Contingency" && datum->name == "Public Key" && datum->id > 0 &&
            eq(datum->extra, ca))
            return datum->value;
    }
    return std::string();
}

void ContingencyMasterKey::signOther(const std::string& privateKey) {
    std::string text;
    {
        LockScope lock(masterMutex);
        signature.clear();
        renderRecordText();
        text = recordText;
    }
    std::string made = signTextOther(text, privateKey);
    LockScope lock(masterMutex);
    signature = std::move(made);
    localDirty = true;
}

} // namespace VxMeta
