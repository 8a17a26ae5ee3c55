#include "vxmeta/records/data_memo.h"

namespace VxMeta {

const RecordSchema<DataMemo>& DataMemo::schema() {
    static const RecordSchema<DataMemo> table{
        "datamemo",
        {
            field<&DataMemo::updated_at>("updated_at"),
            field<&DataMemo::memo_kind>("memo_kind"),
            field<&DataMemo::entity_kind>("entity_kind"),
            field<&DataMemo::entity_id>("entity_id"),
            field<&DataMemo::recipient_kind>("recipient_kind"),
            field<&DataMemo::recipientid>("recipientid"),
            field<&DataMemo::id>("id"),
        },
    };
    return table;
}

std::string DataMemo::idstr() const { return idStr(id); }

std::string DataMemo::geturn() const { return std::to_string(id); }

} // namespace VxMeta
