// SID: the user's secret identity: the private key encrypted under the key derived from the
// password, its format version and the locator by which the client finds the record. Not signed.
#pragma once

#include <string>

#include "vxmeta/records/record.h"

namespace VxMeta {

class SID : public Record<SID> {
public:
    std::string id;
    std::string prikey;
    std::string version;
    std::string shash;

    static constexpr RecordShape shape = RecordShape::Record;
    static const RecordSchema<SID>& schema();
    // The id text unchanged (not URL-encoded).
    std::string idstr() const override;
    // The locator, so the store names the record by it.
    std::string geturn() const override;
};

} // namespace VxMeta
