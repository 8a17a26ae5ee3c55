#include "vxmeta/records/sid.h"

namespace VxMeta {

const RecordSchema<SID>& SID::schema() {
    static const RecordSchema<SID> table{
        "sid",
        {
            field<&SID::id>("id"),
            field<&SID::prikey>("prikey", InRecord),
            field<&SID::version>("version", InRecord),
            field<&SID::shash>("shash", InRecord),
            field<&VxMetadata::revision, SID>("revision", InRecord),
        },
    };
    return table;
}

std::string SID::idstr() const { return idStr(id); }

std::string SID::geturn() const { return shash; }

} // namespace VxMeta
