#include "vxmeta/foundation/json.h"

#include <memory>
#include <sstream>

#include <json/reader.h>
#include <json/writer.h>

#include "vxmeta/foundation/log.h"

namespace VxMeta {

namespace {

bool readJson(const std::string& text, Json::Value& value, std::string* errors) {
    static const Json::CharReaderBuilder builder; // default features, as the library's reader has
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string messages;
    bool ok = reader->parse(text.data(), text.data() + text.size(), &value, &messages);
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
