#include "vxmeta/foundation/json.h"

#include <memory>
#include <sstream>

#include <json/reader.h>
#include <json/writer.h>

#include "vxmeta/foundation/log.h"
#include "vxmeta/foundation/text.h"

namespace VxMeta {

namespace {

// Whether every text of the value, member names included, is well-formed UTF-8. The reader passes
// raw bytes through and turns an escaped lone low surrogate into its three bytes; the compact writer
// would render all of them as U+FFFD, so different texts would come out as one.
bool allTextsUtf8(const Json::Value& value) {
    if (value.isString()) {
        const char* begin = nullptr;
        const char* end = nullptr;
        return !value.getString(&begin, &end) || isValidUtf8(begin, end);
    }
    if (!value.isArray() && !value.isObject()) return true;
    for (auto it = value.begin(); it != value.end(); ++it) {
        if (value.isObject()) {
            const char* end = nullptr;
            const char* name = it.memberName(&end);
            if (name && !isValidUtf8(name, end)) return false;
        }
        if (!allTextsUtf8(*it)) return false;
    }
    return true;
}

bool readJson(const std::string& text, Json::Value& value, std::string* errors) {
    static const Json::CharReaderBuilder builder; // default features, as the library's reader has
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string messages;
    bool ok = false;
    try {
        ok = reader->parse(text.data(), text.data() + text.size(), &value, &messages);
    } catch (const Json::Exception& e) {
        // Nesting deeper than the reader's stack limit is thrown, not reported.
        messages = e.what();
        value = Json::Value();
    }
    if (ok && !allTextsUtf8(value)) {
        ok = false;
        messages = "Text is not valid UTF-8";
        value = Json::Value(); // nothing of it reaches the caller
    }
    if (errors) *errors = std::move(messages);
    return ok;
}

const Json::StreamWriterBuilder& compactWriter() {
    static const Json::StreamWriterBuilder builder = [] {
        Json::StreamWriterBuilder b;
        b["indentation"] = "";
        b["commentStyle"] = "None";
        b["enableYAMLCompatibility"] = false;
        b["dropNullPlaceholders"] = false;
        b["useSpecialFloats"] = false;
        b["emitUTF8"] = false;
        b["precision"] = 17;
        b["precisionType"] = "significant";
        return b;
    }();
    return builder;
}

} // namespace

bool parse(const std::string& text, Json::Value& value) {
    std::string errors;
    if (readJson(text, value, &errors)) return true;
    VXLOG(1, "VxMetadata - Failed to parse JSON - %s", errors.c_str());
    return false;
}

bool mayParse(const std::string& text, Json::Value& value) { return readJson(text, value, nullptr); }

Json::Value parseJson(const std::string& text) {
    Json::Value value;
    parse(text, value);
    return value;
}

std::string jsonString(const Json::Value& value) { return Json::writeString(compactWriter(), value); }

} // namespace VxMeta
