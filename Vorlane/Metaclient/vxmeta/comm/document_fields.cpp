#include "vxmeta/comm/document_fields.h"

#include <cmath>

#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"

namespace VxMeta {

namespace {

[[noreturn]] void malformed(const char* what, const char* key, const char* expected) {
    throw VxMetaException(VXMECAT_PROTOCOL,
                          std::string(what) + " is malformed: \"" + key + "\" is not " + expected);
}

} // namespace

const Json::Value& documentMember(const Json::Value& document, const char* key, const char* what) {
    if (document.isNull()) return Json::Value::nullSingleton();
    if (!document.isObject()) throw VxMetaException(VXMECAT_PROTOCOL, std::string(what) + " is not a JSON object");
    const Json::Value* member = document.find(key, key + std::char_traits<char>::length(key));
    return member ? *member : Json::Value::nullSingleton();
}

std::string documentText(const Json::Value& document, const char* key, const char* what) {
    const Json::Value& member = documentMember(document, key, what);
    if (member.isObject() || member.isArray()) malformed(what, key, "convertible to text");
    return member.asString();
}

int64_t documentInt64(const Json::Value& document, const char* key, const char* what) {
    const Json::Value& member = documentMember(document, key, what);
    switch (member.type()) {
    case Json::nullValue: return 0;
    case Json::booleanValue: return member.asBool() ? 1 : 0;
    case Json::intValue: return member.asInt64();
    case Json::uintValue:
        if (!member.isInt64()) malformed(what, key, "within the 64-bit integer range");
        return member.asInt64();
    case Json::realValue: {
        double number = member.asDouble();
        // Truncated toward zero, like the JSON library; out-of-range and non-finite values fail.
        if (!(number > -9223372036854775808.0 && number < 9223372036854775808.0)) {
            malformed(what, key, "within the 64-bit integer range");
        }
        return static_cast<int64_t>(std::trunc(number));
    }
    default: malformed(what, key, "a number");
    }
}

bool documentBool(const Json::Value& document, const char* key, const char* what) {
    const Json::Value& member = documentMember(document, key, what);
    switch (member.type()) {
    case Json::nullValue: return false;
    case Json::booleanValue: return member.asBool();
    case Json::intValue: return member.asInt64() != 0;
    case Json::uintValue: return member.asUInt64() != 0;
    case Json::realValue: return member.asDouble() != 0.0;
    default: malformed(what, key, "a boolean");
    }
}

} // namespace VxMeta
