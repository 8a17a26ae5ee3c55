// Upload: one upload record of the service: its kind, the device it belongs to, the expected size,
// when it started and completed, and the size uploaded so far. Not signed.
#pragma once

#include <cstdint>
#include <string>

#include "vxmeta/records/record.h"

namespace VxMeta {

class Upload : public Record<Upload> {
public:
    std::string created_at;
    std::string updated_at;
    std::string kind;
    int64_t deviceid = 0;
    int64_t expect_size = 0;
    std::string upload_started;
    std::string upload_completed;
    int64_t uploaded_size = 0;
    int64_t id = 0;

    static constexpr RecordShape shape = RecordShape::Flat;
    static const RecordSchema<Upload>& schema();
    std::string idstr() const override;
    // The id in decimal, "0" before the service numbered it.
    std::string geturn() const override;
};

} // namespace VxMeta
