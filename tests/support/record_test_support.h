// Helpers shared by the record tests: JSON written the way a reader would write it, compared in
// its compact form so that member order and spacing of the fixtures do not matter.
#pragma once

#include <array>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include <json/value.h>

#include "vxmeta/foundation/json.h"
#include "support/temp_path.h"

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

// Runs a script of tests/vectors (the independent implementation) with the system interpreter;
// its standard output, and its exit status in status.
inline std::string runVectorScript(const std::string& script, const std::string& arguments, int& status) {
    const std::string command =
        std::string(VX_PYTHON) + " " + VX_SOURCE_DIR + "/tests/vectors/" + script + " " + arguments;
    FILE* pipe = popen(command.c_str(), "r");
    status = -1;
    if (!pipe) return std::string();
    std::string out;
    std::array<char, 4096> buffer;
    size_t n;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) out.append(buffer.data(), n);
    status = pclose(pipe);
    return out;
}

// Hands `input` to a script of tests/vectors as "check FILE" (FILE private to this process, named
// after `fileName`, removed afterwards); the script's standard output.
inline std::string checkWithVectorScript(const std::string& script, const Json::Value& input,
                                         const std::string& fileName) {
    const std::string file = processTempPath(fileName);
    std::ofstream(file, std::ios::binary) << VxMeta::jsonString(input);
    int status = 0;
    std::string out = runVectorScript(script, "check " + file, status);
    std::remove(file.c_str());
    return out;
}

// The independent reader's verdict ("valid\n") that two wrapped forms hold the same session key.
inline std::string sameSessionVerdict(const std::string& holderKey, const std::string& holderWrapped,
                                      const std::string& recipientKey, const std::string& recipientWrapped) {
    Json::Value c;
    c["kind"] = "session";
    c["holder"]["privateKey"] = holderKey;
    c["holder"]["wrapped"] = holderWrapped;
    c["recipient"]["privateKey"] = recipientKey;
    c["recipient"]["wrapped"] = recipientWrapped;
    Json::Value cases(Json::arrayValue);
    cases.append(c);
    return checkWithVectorScript("key_distribution.py", cases, "same_session.json");
}

// A file of tests/vectors, parsed.
inline Json::Value vectorFile(const std::string& name) {
    std::ifstream in(std::string(VX_SOURCE_DIR) + "/tests/vectors/" + name, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return json(text.str());
}

} // namespace VxMetaTest
