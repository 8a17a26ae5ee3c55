#include "wycheproof.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "vxmeta/foundation/json.h"

namespace VxMetaTest {

std::string wycheproofDir() { return std::string(VX_SHARED_DIR) + "/vectors/wycheproof"; }

bool readWycheproof(const std::string& fileName, Json::Value& document, std::string& why) {
    const std::string path = wycheproofDir() + "/" + fileName;
    if (!std::filesystem::exists(path)) {
        why = "public test vectors absent: " + path + " (the shared folder is not beside the clone)";
        return false;
    }
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    if (!in || !VxMeta::parse(text.str(), document) || !document["testGroups"].isArray()) {
        why = "unreadable test vector file " + path;
        return false;
    }
    return true;
}

int forEachWycheproofTest(const Json::Value& document,
                          const std::function<void(const Json::Value& group, const Json::Value& test)>& visit) {
    int count = 0;
    for (const Json::Value& group : document["testGroups"]) {
        for (const Json::Value& test : group["tests"]) {
            visit(group, test);
            ++count;
        }
    }
    return count;
}

std::string hexBytes(const Json::Value& object, const char* member) {
    const std::string hex = object[member].asString();
    std::string bytes;
    bytes.reserve(hex.size() / 2);
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

std::string describe(const Json::Value& test) {
    return "tcId " + std::to_string(test["tcId"].asInt()) + " (" + test["comment"].asString() + ")";
}

} // namespace VxMetaTest
