#include "vxmeta/records/signature_request.h"

namespace VxMeta {

const RecordSchema<SignatureRequest>& SignatureRequest::schema() {
    static const RecordSchema<SignatureRequest> table{
        "signaturerequest",
        {
            field<&SignatureRequest::created_at>("created_at", LocalOnly),
            field<&SignatureRequest::updated_at>("updated_at", LocalOnly),
            field<&SignatureRequest::kind>("kind"),
            field<&SignatureRequest::message>("message"),
            field<&SignatureRequest::status>("status"),
            field<&SignatureRequest::record>("record"),
            field<&SignatureRequest::signature>("signature"),
            field<&SignatureRequest::id>("id"),
        },
    };
    return table;
}

std::string SignatureRequest::idstr() const { return idStr(id); }

std::string SignatureRequest::geturn() const { return std::to_string(id); }

} // namespace VxMeta
