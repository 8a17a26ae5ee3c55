// Fuzz target: the JSON readers (parse, mayParse, parseJson) and the checked accessors over what they
// read. Every text is read or refused, never crashes or lets a JsonCpp exception out; a wrong type
// is a VxMetaException; and what was read, written by jsonString, reads back to the same value in
// the same text.
#include <cstdio>
#include <cstdlib>

#include "fuzz_input.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/json_access.h"
#include "vxmeta/foundation/log.h"

using namespace VxMeta;

namespace {

template <typename Read>
void refusedOrRead(Read&& read) {
    try {
        read();
    } catch (const VxMetaException&) {
        // a wrong type, reported as the library reports it
    }
}

// Every accessor on every member of value, and on value itself, recursively.
void readEverything(const Json::Value& value) {
    refusedOrRead([&] { asText(value, "value"); });
    refusedOrRead([&] { asInt(value, "value"); });
    refusedOrRead([&] { asBool(value, "value"); });
    refusedOrRead([&] { asObject(value, "value"); });
    refusedOrRead([&] { asArray(value, "value"); });
    if (value.isObject()) {
        for (const std::string& name : value.getMemberNames()) {
            const char* n = name.c_str();
            jsonHas(value, n);
            refusedOrRead([&] { jsonMember(value, n); });
            refusedOrRead([&] { jsonText(value, n); });
            refusedOrRead([&] { jsonInt(value, n); });
            refusedOrRead([&] { jsonDouble(value, n); });
            refusedOrRead([&] { jsonBool(value, n); });
            refusedOrRead([&] { jsonObject(value, n); });
            refusedOrRead([&] { jsonArray(value, n); });
            readEverything(value[name]);
        }
    } else if (value.isArray()) {
        for (const Json::Value& element : value) readEverything(element);
    }
}

[[noreturn]] void broken(const char* what, const std::string& written) {
    std::fprintf(stderr, "%s: %s\n", what, written.c_str());
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setLogLevel(0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input = VxMetaFuzz::text(data, size);

    Json::Value value;
    const bool read = mayParse(input, value);
    Json::Value logged;
    if (parse(input, logged) != read) broken("parse and mayParse disagree", input);
    parseJson(input);
    if (!read) return 0;

    readEverything(value);

    // Texts that are not UTF-8 are written as U+FFFD and so cannot read back the same.
    if (!VxMetaFuzz::textsAreUtf8(value)) return 0;
    const std::string written = jsonString(value);
    Json::Value again;
    if (!mayParse(written, again)) broken("jsonString wrote unreadable JSON", written);
    if (!(again == value)) broken("jsonString changed the value", written);
    if (jsonString(again) != written) broken("jsonString is not stable", written);
    return 0;
}
