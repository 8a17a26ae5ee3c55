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

// A file of tests/vectors, parsed.
inline Json::Value vectorFile(const std::string& name) {
    std::ifstream in(std::string(VX_SOURCE_DIR) + "/tests/vectors/" + name, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return json(text.str());
}

} // namespace VxMetaTest
