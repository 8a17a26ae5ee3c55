#include "vxmeta/foundation/json.h"

#include <memory>
#include <sstream>
#include <string_view>

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

// Whether every text read from the JSON text is surely well-formed UTF-8 without looking at them: the
// whole text is, and it holds no "\u" escape. Texts are then pieces of it cut at ASCII characters, or
// ASCII from the other escapes. False says nothing: the read texts must be checked one by one.
bool textsSurelyUtf8(const std::string& text) {
    for (size_t at = text.find('\\'); at != std::string::npos; at = text.find('\\', at + 2))
        if (at + 1 < text.size() && text[at + 1] == 'u') return false;
    return isValidUtf8(text.data(), text.data() + text.size());
}

// One reader and one writer per thread, made once: stored values and records are read and written
// one after another, and making a reader or writer costs more than a small value.
Json::CharReader& threadReader() {
    static const Json::CharReaderBuilder builder; // default features, as the library's reader has
    thread_local const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    return *reader;
}

bool readJson(const std::string& text, Json::Value& value, std::string* errors) {
    Json::CharReader& reader = threadReader();
    std::string messages;
    bool ok = false;
    try {
        ok = reader.parse(text.data(), text.data() + text.size(), &value, &messages);
    } catch (const Json::Exception& e) {
        // Nesting deeper than the reader's stack limit is thrown, not reported.
        messages = e.what();
        value = Json::Value();
    }
    if (ok && !textsSurelyUtf8(text) && !allTextsUtf8(value)) {
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

namespace {

// JsonCpp's compact rendering of one value, appended.
void appendByJsonCpp(const Json::Value& value, std::string& text) {
    thread_local const std::unique_ptr<Json::StreamWriter> writer(compactWriter().newStreamWriter());
    thread_local std::ostringstream out;
    out.str(std::string());
    out.clear();
    writer->write(value, &out);
    text += out.str();
}

// Printable ASCII without quote or backslash: JsonCpp writes such a text between quotes unchanged.
bool plainText(const char* begin, const char* end) {
    for (const char* c = begin; c != end; ++c) {
        const auto byte = static_cast<unsigned char>(*c);
        if (byte < 0x20 || byte > 0x7E || byte == '"' || byte == '\\') return false;
    }
    return true;
}

void appendQuoted(const char* begin, const char* end, std::string& text) {
    if (plainText(begin, end)) {
        text += '"';
        text.append(begin, end);
        text += '"';
    } else {
        appendByJsonCpp(Json::Value(begin, end), text);
    }
}

// The same text as JsonCpp's compact writer, written directly for the common cases (objects, arrays,
// integers, booleans, plain texts); texts to escape and numbers with a fraction are left to JsonCpp.
void appendCompact(const Json::Value& value, std::string& text) {
    switch (value.type()) {
    case Json::nullValue: text += "null"; return;
    case Json::intValue: text += std::to_string(value.asLargestInt()); return;
    case Json::uintValue: text += std::to_string(value.asLargestUInt()); return;
    case Json::booleanValue: text += value.asBool() ? "true" : "false"; return;
    case Json::stringValue: {
        const char* begin = nullptr;
        const char* end = nullptr;
        if (value.getString(&begin, &end)) appendQuoted(begin, end, text);
        else appendByJsonCpp(value, text);
        return;
    }
    case Json::arrayValue: {
        text += '[';
        for (Json::ArrayIndex i = 0; i < value.size(); ++i) {
            if (i > 0) text += ',';
            appendCompact(value[i], text);
        }
        text += ']';
        return;
    }
    case Json::objectValue: {
        text += '{';
        bool first = true;
        for (auto member = value.begin(); member != value.end(); ++member) {
            if (!first) text += ',';
            first = false;
            const char* end = nullptr;
            const char* begin = member.memberName(&end);
            appendQuoted(begin, end, text);
            text += ':';
            appendCompact(*member, text);
        }
        text += '}';
        return;
    }
    default: appendByJsonCpp(value, text); return;
    }
}

} // namespace

std::string jsonStringWithMember(const Json::Value& object, const std::string& name, const std::string& valueText) {
    std::string text;
    text.reserve(512 + valueText.size());
    text += '{';
    bool first = true;
    bool placed = false;
    auto placeMember = [&] {
        if (!first) text += ',';
        first = false;
        appendQuoted(name.data(), name.data() + name.size(), text);
        text += ':';
        text += valueText;
        placed = true;
    };
    for (auto member = object.begin(); member != object.end(); ++member) {
        const char* end = nullptr;
        const char* begin = member.memberName(&end);
        const std::string_view key(begin, static_cast<size_t>(end - begin));
        // Members in ascending byte order, as the object keeps them.
        if (!placed && std::string_view(name) <= key) placeMember();
        if (key == name) continue;
        if (!first) text += ',';
        first = false;
        appendQuoted(begin, end, text);
        text += ':';
        appendCompact(*member, text);
    }
    if (!placed) placeMember();
    text += '}';
    return text;
}

std::string jsonString(const Json::Value& value) {
    std::string text;
    if (value.type() == Json::objectValue || value.type() == Json::arrayValue) text.reserve(512);
    appendCompact(value, text);
    return text;
}

size_t jsonStringLength(const Json::Value& value) {
    thread_local std::string text;
    text.clear();
    appendCompact(value, text);
    return text.size();
}

} // namespace VxMeta
