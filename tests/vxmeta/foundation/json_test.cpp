#include "vxmeta/foundation/json.h"

#include <gtest/gtest.h>

#include <json/writer.h>

#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/json_access.h"
#include "vxmeta/foundation/log.h"

using namespace VxMeta;

namespace {

TEST(JsonString, CompactFormByteForByte) {
    Json::Value record(Json::objectValue);
    record["b"] = 1;
    record["a"] = "x";
    record["B"] = true;
    record["list"] = Json::Value(Json::arrayValue);
    record["list"].append(Json::Value());
    record["list"].append(-3);
    record["list"].append(Json::Value(Json::objectValue));
    record["empty"] = Json::Value(Json::arrayValue);
    record["text"] = std::string("q\"\\/\b\f\n\r\t\x01\x7f\xc3\xa9\xf0\x9f\x98\x80");
    record["big"] = Json::Int64(9007199254740993);
    record["u"] = Json::UInt64(18446744073709551615ull);
    record["f"] = 0.1;
    EXPECT_EQ(jsonString(record),
              "{\"B\":true,\"a\":\"x\",\"b\":1,\"big\":9007199254740993,\"empty\":[],\"f\":0.10000000000000001,"
              "\"list\":[null,-3,{}],\"text\":\"q\\\"\\\\/\\b\\f\\n\\r\\t\\u0001\x7f\\u00e9\\ud83d\\ude00\","
              "\"u\":18446744073709551615}");
}

TEST(JsonString, LongArraysStayOnOneLine) {
    Json::Value list(Json::arrayValue);
    for (int i = 0; i < 40; ++i) list.append("element-" + std::to_string(i));
    const std::string text = jsonString(list);
    EXPECT_EQ(text.find('\n'), std::string::npos);
    EXPECT_EQ(text.find(' '), std::string::npos);
    EXPECT_EQ(text.substr(0, 24), "[\"element-0\",\"element-1\"");
}

TEST(JsonString, ScalarsAndNull) {
    EXPECT_EQ(jsonString(Json::Value()), "null");
    EXPECT_EQ(jsonString(Json::Value("s")), "\"s\"");
    EXPECT_EQ(jsonString(Json::Value(Json::objectValue)), "{}");
}

// jsonString writes the common values itself: its text must stay JsonCpp's compact text.
TEST(JsonString, SameTextAsJsonCppsCompactWriter) {
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    builder["precision"] = 17;
    const char* const fixtures[] = {
        "{}", "[]", "null", "0", "-9223372036854775808", "18446744073709551615", "1.5", "-0.1", "1e300",
        "true", "\"plain text\"", "\"\"", "\"quote \\\" and \\\\ back\"", "\"tab\\t line\\n\"",
        "\"caf\\u00e9 \\u65e5\\u672c \\ud83d\\ude00\"", "\"\\u0000nul\"",
        "{\"b\":1,\"a\":{\"z\":[1,2,[],{}],\"y\":null},\"B\":\"\\u00e9\",\"\\u00e9\":2,\"a\\\"q\":3}",
        "[\"long array that JsonCpp would lay out on several lines with an indentation\", 1, 2, 3, 4, 5, 6]",
        "{\"record\":{\"asset\":\"urn:vx:asset/1\",\"keysequence\":3,\"revision\":1},\"signature\":\"V2-x\"}",
    };
    for (const char* fixture : fixtures) {
        Json::Value value;
        ASSERT_TRUE(mayParse(fixture, value)) << fixture;
        EXPECT_EQ(jsonString(value), Json::writeString(builder, value)) << fixture;
    }
    Json::Value withNul(std::string("a\0b", 3));
    EXPECT_EQ(jsonString(withNul), Json::writeString(builder, withNul));
    Json::Value keyWithNul(Json::objectValue);
    keyWithNul[std::string("k\0", 2)] = 1;
    EXPECT_EQ(jsonString(keyWithNul), Json::writeString(builder, keyWithNul));
}

TEST(JsonString, AMemberGivenAsTextTakesItsPlaceInOrder) {
    const std::string member = "{\"asset\":\"urn:vx:asset/1\",\"revision\":2}";
    for (const char* object : {"{}", "{\"a\":1}", "{\"z\":1}", "{\"a\":1,\"signature\":\"V2-x\",\"z\":[]}",
                               "{\"record\":5,\"recorded\":true,\"recor\":null}", "{\"\u00e9\":\"caf\u00e9\"}"}) {
        Json::Value value = parseJson(object);
        const std::string text = jsonStringWithMember(value, "record", member);
        value["record"] = parseJson(member);
        EXPECT_EQ(text, jsonString(value)) << object;
    }
}

TEST(JsonParse, ReadsTrailingTextAndReportsFailure) {
    Json::Value v;
    EXPECT_TRUE(parse("{\"a\":[1,2]} trailing", v)); // the reader accepts text after the value
    EXPECT_EQ(v["a"][1].asInt(), 2);
    EXPECT_TRUE(parse("// comment\n{\"a\":1}", v));

    std::vector<std::string> logged;
    static std::vector<std::string>* sink;
    sink = &logged;
    logCallback = +[](int, const std::string& text) { sink->push_back(text); };
    Json::Value broken;
    EXPECT_FALSE(parse("{\"a\":", broken));
    EXPECT_FALSE(mayParse("not json", broken));
    EXPECT_TRUE(parseJson("").isNull());
    EXPECT_TRUE(parseJson("[1]").isArray());
    logCallback = nullptr;
    ASSERT_EQ(logged.size(), 2u); // parse and parseJson log, mayParse does not
    EXPECT_EQ(logged[0].rfind("VxMetadata - Failed to parse JSON - ", 0), 0u);
}

// Input the reader cannot use is reported like any other malformed JSON: false, a null value and
// the level-1 line, never an exception out of the reader. Text that is not UTF-8 (raw
// bytes, overlong or surrogate forms, escaped lone surrogates, in values and in member names) is
// refused too: the compact writer would render every such byte as U+FFFD, so two different records
// would share one signed text.
TEST(JsonParse, UnusableInputIsRefusedWithoutAnException) {
    const std::string deepArray(1100, '[');
    std::string deepObject;
    for (int i = 0; i < 1100; ++i) deepObject += "{\"a\":";
    const std::pair<const char*, std::string> cases[] = {
        {"arrays nested too deep", deepArray},
        {"objects nested too deep", deepObject},
        {"closed arrays nested too deep", deepArray + std::string(1100, ']')},
        {"a byte that starts nothing", "{\"a\":\"x\xff\"}"},
        {"a continuation byte alone", "[\"\x80\"]"},
        {"a sequence cut short", "{\"a\":\"\xc3\"}"},
        {"a sequence cut short at the end of the text", "[\"\xe2\x82\"]"},
        {"an overlong form", "[\"\xc0\xaf\"]"},
        {"an overlong three-byte form", "[\"\xe0\x80\xaf\"]"},
        {"a surrogate in bytes", "[\"\xed\xa0\x80\"]"},
        {"beyond U+10FFFF", "[\"\xf4\x90\x80\x80\"]"},
        {"an escaped lone low surrogate", "[\"\\udc00\"]"},
        {"a member name", "{\"\xe9t\xe9\":1}"},
        {"deep inside", "{\"a\":[1,{\"b\":[\"ok\",\"\xfe\"]}]}"},
    };
    std::vector<std::string> logged;
    static std::vector<std::string>* sink;
    sink = &logged;
    logCallback = +[](int, const std::string& text) { sink->push_back(text); };
    for (const auto& [name, text] : cases) {
        SCOPED_TRACE(name);
        logged.clear();
        Json::Value value;
        try {
            EXPECT_FALSE(parse(text, value));
            EXPECT_FALSE(mayParse(text, value));
            EXPECT_TRUE(value.isNull());
            EXPECT_TRUE(parseJson(text).isNull());
        } catch (const std::exception& e) {
            ADD_FAILURE() << "escaped as " << e.what();
        }
        ASSERT_EQ(logged.size(), 2u); // parse and parseJson
        EXPECT_EQ(logged[0].rfind("VxMetadata - Failed to parse JSON - ", 0), 0u);
    }
    logCallback = nullptr;

    // Valid text of every length reads, raw or escaped.
    Json::Value value;
    ASSERT_TRUE(parse("{\"\xc3\xa9t\xc3\xa9\":[\"\x7f\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80\xf4\x8f\xbf\xbf\","
                      "\"\\u00e9\\ud83d\\ude00\\u0000\"]}",
                      value));
    EXPECT_EQ(value["\xc3\xa9t\xc3\xa9"][0].asString(), "\x7f\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80\xf4\x8f\xbf\xbf");
    EXPECT_EQ(value["\xc3\xa9t\xc3\xa9"][1].asString(), std::string("\xc3\xa9\xf0\x9f\x98\x80\0", 7));
    // Nesting the reader allows still reads.
    EXPECT_TRUE(parse(std::string(900, '[') + std::string(900, ']'), value));
}

TEST(JsonAccess, TypedMembersAndFallbacks) {
    const Json::Value v = parseJson(R"({"s":"t","i":-5,"b":true,"d":1.5,"o":{"x":1},"a":[1],"n":null})");
    EXPECT_EQ(jsonText(v, "s"), "t");
    EXPECT_EQ(jsonText(v, "missing", "fallback"), "fallback");
    EXPECT_EQ(jsonText(v, "n", "fallback"), "fallback");
    EXPECT_EQ(jsonInt(v, "i"), -5);
    EXPECT_EQ(jsonInt(v, "missing", 7), 7);
    EXPECT_TRUE(jsonBool(v, "b"));
    EXPECT_DOUBLE_EQ(jsonDouble(v, "d"), 1.5);
    EXPECT_DOUBLE_EQ(jsonDouble(v, "i"), -5);
    EXPECT_EQ(jsonObject(v, "o")["x"].asInt(), 1);
    EXPECT_TRUE(jsonObject(v, "missing").isNull());
    EXPECT_EQ(jsonArray(v, "a").size(), 1u);
    EXPECT_TRUE(jsonHas(v, "s"));
    EXPECT_FALSE(jsonHas(v, "n"));
    EXPECT_FALSE(jsonHas(Json::Value("text"), "s"));
    EXPECT_TRUE(jsonMember(Json::Value(), "s").isNull());
}

TEST(JsonAccess, WrongTypeIsAVxMetaExceptionOfTheCallersCategory) {
    const Json::Value v = parseJson(R"({"s":"t","i":-5,"b":true,"d":1.5,"o":{"x":1},"a":[1]})");
    using Read = std::function<void()>;
    const std::vector<std::pair<const char*, Read>> reads = {
        {"text from number", [&] { jsonText(v, "i"); }},
        {"int from text", [&] { jsonInt(v, "s"); }},
        {"int from fraction", [&] { jsonInt(v, "d"); }},
        {"bool from number", [&] { jsonBool(v, "i"); }},
        {"double from text", [&] { jsonDouble(v, "s"); }},
        {"object from array", [&] { jsonObject(v, "a"); }},
        {"array from object", [&] { jsonArray(v, "o"); }},
        {"member of an array", [&] { jsonText(v["a"], "x"); }},
        {"member of a text", [&] { jsonMember(v["s"], "x"); }},
        {"whole value", [&] { asText(v["o"], "value"); }},
    };
    for (const auto& [name, read] : reads) {
        try {
            read();
            ADD_FAILURE() << name;
        } catch (const VxMetaException& e) {
            EXPECT_EQ(e.category, VXMECAT_PROTOCOL) << name;
        } catch (const std::exception& e) {
            ADD_FAILURE() << name << " escaped as " << e.what();
        }
    }
    try {
        jsonText(v, "i", "", VXMECAT_INVALID_METADATA);
        FAIL();
    } catch (const VxMetaException& e) {
        EXPECT_EQ(e.category, VXMECAT_INVALID_METADATA);
        EXPECT_NE(e.message.find('i'), std::string::npos);
    }
}

} // namespace
