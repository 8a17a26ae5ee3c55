// Etag: the service's change tags of the account (data, site document, locker configuration,
// cluster information), read into a short-lived record at each synchronization and cluster check.
#pragma once

#include <cstdint>
#include <string>

#include "vxmeta/records/record.h"

namespace VxMeta {

class Etag : public Record<Etag> {
public:
    int32_t etag = 0;
    int32_t gtag = 0;
    int32_t ltag = 0;
    std::string ctag;
    int64_t id = 0;

    static constexpr RecordShape shape = RecordShape::Flat;
    static const RecordSchema<Etag>& schema();
    std::string idstr() const override;
    std::string geturn() const override;
};

} // namespace VxMeta
