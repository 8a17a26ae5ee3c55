#include "vxmeta/records/deployment.h"

#include "vxmeta/crypto/signatures.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/records/state_access.h"

namespace VxMeta {

const RecordSchema<Deployment>& Deployment::schema() {
    static const RecordSchema<Deployment> table{
        "deployment",
        {
            field<&Deployment::id>("id"),
            field<&Deployment::created_at>("created_at", LocalOnly),
            field<&Deployment::updated_at>("updated_at", LocalOnly),
            field<&Deployment::name>("name"),
            field<&Deployment::platform_type>("platform_type"),
            field<&Deployment::upgrade_info>("upgrade_info"),
            field<&Deployment::version>("version"),
            field<&Deployment::signature>("signature"),
        },
    };
    return table;
}

std::string Deployment::idstr() const { return idStr(id); }

std::string Deployment::geturn() const { return idstr(); }

bool Deployment::verifySignature() { return verifySignedValue(); }

bool Deployment::verifySignedValue() {
    if (id == 0) return true;
    Json::Value signedForm(Json::objectValue);
    encode(signedForm, false);
    signedForm.removeMember("id");
    signedForm.removeMember("signature");
    return verifyTextNoExceptions(jsonString(signedForm), signature, servicePublicKey());
}

} // namespace VxMeta
