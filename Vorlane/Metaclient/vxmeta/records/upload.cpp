#include "vxmeta/records/upload.h"

namespace VxMeta {

const RecordSchema<Upload>& Upload::schema() {
    static const RecordSchema<Upload> table{
        "upload",
        {
            field<&Upload::created_at>("created_at", LocalOnly),
            field<&Upload::updated_at>("updated_at", LocalOnly),
            field<&Upload::kind>("kind"),
            field<&Upload::deviceid>("deviceid"),
            field<&Upload::expect_size>("expect_size"),
            field<&Upload::upload_started>("upload_started", LocalOnly),
            field<&Upload::upload_completed>("upload_completed", LocalOnly),
            field<&Upload::uploaded_size>("uploaded_size", LocalOnly),
            field<&Upload::id>("id"),
        },
    };
    return table;
}

std::string Upload::idstr() const { return idStr(id); }

std::string Upload::geturn() const { return std::to_string(id); }

} // namespace VxMeta
