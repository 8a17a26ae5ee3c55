#include "vxmeta/records/etag.h"

namespace VxMeta {

const RecordSchema<Etag>& Etag::schema() {
    static const RecordSchema<Etag> table{
        "etag",
        {
            field<&Etag::etag>("etag"),
            field<&Etag::gtag>("gtag"),
            field<&Etag::ltag>("ltag"),
            field<&Etag::ctag>("ctag"),
            field<&Etag::id>("id"),
        },
    };
    return table;
}

std::string Etag::idstr() const { return idStr(id); }

std::string Etag::geturn() const { return std::string(); }

} // namespace VxMeta
