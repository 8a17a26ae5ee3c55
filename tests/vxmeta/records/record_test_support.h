// Helpers shared by the record tests: JSON written the way a reader would write it, compared in
// its compact form so that member order and spacing of the fixtures do not matter.
#pragma once

#include <string>

#include <json/value.h>

#include "vxmeta/foundation/json.h"

namespace VxMetaTest {

// The compact text of a JSON fixture.
inline std::string canonical(const std::string& fixture) {
    Json::Value value;
    if (!VxMeta::mayParse(fixture, value)) return "unparsable fixture: " + fixture;
    return VxMeta::jsonString(value);
}

inline Json::Value json(const std::string& fixture) {
    Json::Value value;
    VxMeta::mayParse(fixture, value);
    return value;
}

} // namespace VxMetaTest
