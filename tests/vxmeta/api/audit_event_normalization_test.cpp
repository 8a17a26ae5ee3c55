// The normalization of audit events in both modes, case by case, and the text form DSI.
#include <string>

#include <gtest/gtest.h>

#include "vxmeta/api/audit_event_normalization.h"
#include "vxmeta/foundation/json.h"

using namespace VxMeta;

namespace {

struct Case {
    const char* what;
    int mode;
    const char* entry;
    const char* expected;
};

const Case kCases[] = {
    {"authentication replaces signature", 0, R"({"authentication":[{"a":1}],"signature":"old"})",
     R"({"signature":[{"a":1}]})"},
    {"authentication replaces signature (expanded)", 1, R"({"authentication":"new","signature":"old"})",
     R"({"signature":"new"})"},
    {"null modified goes, size 0 stays", 0, R"({"modified":null,"size":0,"x":1})", R"({"size":0,"x":1})"},
    {"null modified goes, size 0 stays (expanded)", 1, R"({"modified":null,"size":0})", R"({"size":0})"},
    {"null size goes", 1, R"({"size":null})", R"({})"},
    {"status with code 0 goes", 0, R"({"status":{"code":0,"level":"info","description":"d"}})", R"({})"},
    {"status with code 5 stays", 0, R"({"status":{"code":5}})", R"({"status":{"code":5}})"},
    {"empty status goes", 0, R"({"status":{}})", R"({})"},
    {"a text status is left alone", 0, R"({"status":"fine"})", R"({"status":"fine"})"},
    {"trust with code 0 goes, code 3 stays", 0,
     R"({"contingency_keys":[{"trust":{"code":0},"k":1},{"trust":{"code":3}}]})",
     R"({"contingency_keys":[{"k":1},{"trust":{"code":3}}]})"},
    {"empty contingency keys go", 0, R"({"contingency_keys":[]})", R"({})"},
    {"signature trust cleaned", 0, R"({"signature":[{"trust":{"code":0}}]})", R"({"signature":[{}]})"},
    {"kms with empty data goes, encryption stays empty", 0, R"({"encryption":{"kms":{"data":""}}})",
     R"({"encryption":{}})"},
    {"empty encryption goes", 0, R"({"encryption":{}})", R"({})"},
    {"encrypted_for trust cleaned", 0, R"({"encryption":{"encrypted_for":[{"trust":{"code":0},"u":"x"}]}})",
     R"({"encryption":{"encrypted_for":[{"u":"x"}]}})"},
    {"key facts keep only what carries something", 0,
     R"({"encryption":{"kms":{"data":"m","orvanel":[{"name":"k","canDelete":false,"owner":{"email":""}}]}}})",
     R"({"encryption":{"kms":{"data":"m","orvanel":[{"name":"k"}]}}})"},
    {"user encryption emptied goes", 0,
     R"({"user_encryption":{"x509":[],"pgp":[{"trust":{"code":0}}],"orvanel":null,"passphrase":false}})",
     R"({"user_encryption":{"pgp":[{}]}})"},
    {"user encryption with nothing goes", 0, R"({"user_encryption":{"x509":[],"orvanel":0}})", R"({})"},
    {"fips, fne, item, item_id go when empty", 0, R"({"fips":false,"fne":0,"item":"","item_id":null,"keep":0.0})",
     R"({"keep":0.0})"},
    {"non-empty item stays", 0, R"({"item":"a.txt","item_id":7})", R"({"item":"a.txt","item_id":7})"},
    {"the expanded mode keeps everything else", 1,
     R"({"status":{"code":0},"item":"","encryption":{},"contingency_keys":[]})",
     R"({"status":{"code":0},"item":"","encryption":{},"contingency_keys":[]})"},
    {"members of unexpected types are left alone", 0,
     R"({"contingency_keys":"none","encryption":[1],"user_encryption":"u","signature":{"trust":{"code":0}}})",
     R"({"contingency_keys":"none","encryption":[1],"user_encryption":"u","signature":{"trust":{"code":0}}})"},
};

TEST(AuditEventNormalization, Cases) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.what);
        Json::Value entry = parseJson(c.entry);
        normalizeDSIEntry(entry, c.mode);
        EXPECT_EQ(entry, parseJson(c.expected)) << jsonString(entry);
    }
}

TEST(AuditEventNormalization, ValuesThatAreNotObjectsAreLeftUnchanged) {
    for (const char* text : {"[1,{\"a\":null}]", "\"text\"", "5", "null"}) {
        SCOPED_TRACE(text);
        Json::Value value = parseJson(text);
        normalizeDSIEntry(value, 0);
        EXPECT_EQ(value, parseJson(text));
        EXPECT_EQ(DSI(text), parseJson(text).toStyledString());
    }
}

TEST(AuditEventNormalization, TextFormIsTheIndentedRenderingOfTheFactoredForm) {
    EXPECT_EQ(DSI(R"({"authentication":"s","item":"","status":{"code":0},"x":1})"),
              "{\n\t\"signature\" : \"s\",\n\t\"x\" : 1\n}\n");
    EXPECT_EQ(DSI("not json"), "null\n");
}

TEST(AuditEventNormalization, MemberOperations) {
    Json::Value value = parseJson(R"({"n":null,"zero":0,"neg":-1,"big":18446744073709551615,"o":{"a":""},"t":"x"})");
    EXPECT_TRUE(has(value, "n"));
    EXPECT_FALSE(has(value, "missing"));
    EXPECT_FALSE(has(Json::Value("text"), "n"));
    EXPECT_TRUE(elidable(value, "zero"));
    EXPECT_FALSE(elidable(value, "neg"));
    EXPECT_FALSE(elidable(value, "t"));
    EXPECT_TRUE(matches(value, "neg", -1));
    EXPECT_FALSE(matches(value, "big", -1));
    EXPECT_FALSE(matches(value, "t", 0));
    Json::Value& inner = elide(value, "o");
    ASSERT_TRUE(inner.isObject()) << "an object member that stays is yielded";
    inner.removeMember("a");
    EXPECT_TRUE(value["o"].empty());
    EXPECT_TRUE(elide(value, "o").isNull());
    EXPECT_FALSE(value.isMember("o"));
    removeNull(value, "n");
    EXPECT_FALSE(value.isMember("n"));
    EXPECT_TRUE(elide(value, "t").isNull()) << "a text member is not yielded";
    EXPECT_EQ(value["t"], "x");
}

} // namespace
