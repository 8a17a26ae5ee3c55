// DataMemo: one memo of the service about a change of an object (its kind and id), addressed to
// a recipient; the synchronization reads the memos page by page by their running number.
#pragma once

#include <cstdint>
#include <string>

#include "vxmeta/records/record.h"

namespace VxMeta {

class DataMemo : public Record<DataMemo> {
public:
    std::string updated_at;
    std::string memo_kind;
    std::string entity_kind;
    int64_t entity_id = 0;
    std::string recipient_kind;
    int64_t recipientid = 0;
    int64_t id = 0;

    static constexpr RecordShape shape = RecordShape::Flat;
    static const RecordSchema<DataMemo>& schema();
    std::string idstr() const override;
    std::string geturn() const override;
};

} // namespace VxMeta
