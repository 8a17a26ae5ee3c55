#include "interop_vectors.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "vxmeta/foundation/base64.h"
#include "vxmeta/foundation/json.h"

namespace VxMetaTest {

const Json::Value& interopVectors() {
    static const Json::Value vectors = [] {
        const std::string path = std::string(VX_SOURCE_DIR) + "/tests/vectors/crypto_vectors.json";
        std::ifstream in(path);
        std::stringstream text;
        text << in.rdbuf();
        Json::Value value;
        if (!in || !VxMeta::parse(text.str(), value) || !value.isObject()) value = Json::Value(Json::objectValue);
        return value;
    }();
    return vectors;
}

const Json::Value& vectorSection(const char* name) {
    const Json::Value& section = interopVectors()[name];
    EXPECT_FALSE(section.isNull()) << "interop vectors lack the section " << name;
    return section;
}

std::string bytesOf(const Json::Value& entry, const char* member) {
    return VxMeta::base64_decode(entry[member].asString());
}

std::string textOf(const Json::Value& entry, const char* member) { return entry[member].asString(); }

} // namespace VxMetaTest
