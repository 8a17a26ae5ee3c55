// Sproxy: a service record of an e-mail address with its sproxy text, URL and URN, addressed by
// the e-mail address itself.
#pragma once

#include <string>

#include "vxmeta/records/record.h"

namespace VxMeta {

class Sproxy : public Record<Sproxy> {
public:
    std::string email;
    std::string sproxy;
    std::string url;
    std::string urn;

    static constexpr RecordShape shape = RecordShape::Flat;
    static const RecordSchema<Sproxy>& schema();
    // The e-mail address, unencoded.
    std::string idstr() const override;
    // Empty, although the record has a "urn".
    std::string geturn() const override;
};

} // namespace VxMeta
