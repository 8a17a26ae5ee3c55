// A small reader of the public Wycheproof test vector files in the shared vectors folder: each file
// is groups of tests, with hex byte fields and a result of "valid", "invalid" or "acceptable".
#pragma once

#include <functional>
#include <string>

#include <json/value.h>

#include "support/ci_requirement.h"

namespace VxMetaTest {

// The shared Wycheproof folder, or empty when it is not beside the clone.
std::string wycheproofDir();
// Reads one file; false (with the reason in why) when it is absent or unreadable.
bool readWycheproof(const std::string& fileName, Json::Value& document, std::string& why);
// Calls visit for every test of every group; returns how many tests were visited.
int forEachWycheproofTest(const Json::Value& document,
                          const std::function<void(const Json::Value& group, const Json::Value& test)>& visit);
// The bytes of a hex member.
std::string hexBytes(const Json::Value& object, const char* member);
// "tcId 12 (comment)", for failure messages.
std::string describe(const Json::Value& test);

} // namespace VxMetaTest

// Opens a Wycheproof file into document or skips the calling test, saying why (fails it in CI).
#define VX_OPEN_WYCHEPROOF(fileName, document)                                                      \
    Json::Value document;                                                                          \
    do {                                                                                           \
        std::string why_;                                                                          \
        if (!::VxMetaTest::readWycheproof(fileName, document, why_)) VX_SKIP_OR_FAIL_IN_CI(why_);  \
    } while (0)
