// The committed interop vectors that tests/vectors/crypto_vectors.py made with Python `cryptography`.
#pragma once

#include <string>

#include <json/value.h>

namespace VxMetaTest {

// The whole vector file, read once. A missing or unreadable file fails the calling test.
const Json::Value& interopVectors();
// One section of it (an array or an object).
const Json::Value& vectorSection(const char* name);
// The bytes of a base64 member.
std::string bytesOf(const Json::Value& entry, const char* member);
// A text member.
std::string textOf(const Json::Value& entry, const char* member);

} // namespace VxMetaTest
