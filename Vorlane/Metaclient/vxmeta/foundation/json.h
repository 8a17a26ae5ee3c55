// Reading and writing JSON text. jsonString gives the compact form that signatures cover:
// no whitespace, members in ascending byte order of their names, no final line end.
#pragma once

#include <string>

#include <json/value.h>

namespace VxMeta {

// Parses text into value; on failure logs the reader's errors at level 1 and returns false.
bool parse(const std::string& text, Json::Value& value);
// As parse, without the log line (for texts that may legitimately not be JSON).
bool mayParse(const std::string& text, Json::Value& value);
// The value read from text; null (or what was read) on failure, which is logged as in parse.
Json::Value parseJson(const std::string& text);
// The compact JSON text of value, without a line end.
std::string jsonString(const Json::Value& value);
// The compact JSON text of an object with one more member, whose value is given as compact JSON text
// (a record text kept as written): jsonString of the object holding that member, without reading it.
std::string jsonStringWithMember(const Json::Value& object, const std::string& name, const std::string& valueText);

} // namespace VxMeta
