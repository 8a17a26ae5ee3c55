// Reading a record from JSON: the bookkeeping flags of each way in, and the rule that a read
// either succeeds whole or leaves the record exactly as it was.
#include <functional>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "support/record_test_support.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/log.h"
#include "vxmeta/records/etag.h"
#include "vxmeta/records/persists.h"
#include "vxmeta/records/sid.h"

using namespace VxMeta;
using VxMetaTest::json;

namespace {

class QuietLog : public ::testing::Test {
protected:
    void SetUp() override { logCallback = +[](int, const std::string&) {}; }
    void TearDown() override { logCallback = nullptr; }
};

struct Flags {
    bool localDirty, remoteDirty;
    int verified;
    bool originator;
};

Flags flagsOf(const VxMetadata& r) { return {r.localDirty, r.remoteDirty, r.verified, r.originator}; }

void expectFlags(const VxMetadata& r, Flags expected, const char* what) {
    EXPECT_EQ(r.localDirty, expected.localDirty) << what;
    EXPECT_EQ(r.remoteDirty, expected.remoteDirty) << what;
    EXPECT_EQ(r.verified, expected.verified) << what;
    EXPECT_EQ(r.originator, expected.originator) << what;
}

// The ways of reading that do not talk to the service, with the flags they leave; each starts from
// a record with localDirty false, remoteDirty true, verified 1 and originator false.
struct ReadCase {
    const char* name;
    const char* text;
    std::function<bool(VxMetadata&, const std::string&)> read;
    bool result;
    Flags after;
};

const ReadCase readCases[] = {
    {"construction state is read by fromJSON", R"({"etag":1})",
     [](VxMetadata& r, const std::string& t) { return r.fromJSON(t); }, true, {false, true, 1, false}},
    {"fromJSON takes the stored flags", R"({"etag":1,"remoteDirty":false,"originator":true,"verified":2})",
     [](VxMetadata& r, const std::string& t) { return r.fromJSON(t); }, true, {false, false, 2, true}},
    {"restore keeps a pending change", R"({"etag":1,"remoteDirty":true,"originator":true,"verified":1})",
     [](VxMetadata& r, const std::string& t) { return r.restore(t); }, true, {false, true, 0, true}},
    {"restore of a stored clean record", R"({"etag":1,"remoteDirty":false,"originator":false})",
     [](VxMetadata& r, const std::string& t) { return r.restore(t); }, true, {false, false, 0, false}},
    {"update takes a service copy", R"({"etag":1})",
     [](VxMetadata& r, const std::string& t) { return r.update(t); }, true, {true, false, 0, false}},
    {"update of a text that is not JSON still sets the flags", "not json",
     [](VxMetadata& r, const std::string& t) { return r.update(t); }, false, {true, false, 0, false}},
    {"restore of a text that is not JSON", "{",
     [](VxMetadata& r, const std::string& t) { return r.restore(t); }, false, {false, true, 0, false}},
};

TEST_F(QuietLog, EachWayOfReadingLeavesItsFlags) {
    for (const ReadCase& c : readCases) {
        Etag record;
        record.localDirty = false;
        record.verified = 1;
        EXPECT_EQ(c.read(record, c.text), c.result) << c.name;
        expectFlags(record, c.after, c.name);
        EXPECT_EQ(record.etag, c.result ? 1 : 0) << c.name;
    }
}

// Members of the wrong JSON type: a protocol failure, and nothing of the record changes.
struct WrongTypeCase {
    const char* name;
    std::function<std::shared_ptr<VxMetadata>()> make;
    const char* input;
};

std::shared_ptr<VxMetadata> heldPersists() {
    auto p = std::make_shared<Persists>();
    p->lastOnlineTime = 111;
    p->siteData = "held";
    p->pollingInterval = 30;
    p->remoteDirty = false;
    return p;
}

std::shared_ptr<VxMetadata> heldSid() {
    auto s = std::make_shared<SID>();
    s->id = "held";
    s->prikey = "held";
    return s;
}

const WrongTypeCase wrongTypeCases[] = {
    {"an object where a text belongs, after members that read well", heldPersists,
     R"({"lastOnlineTime":5,"siteData":"new","pollingInterval":10,"auditLogUrl":{"x":1},"remoteDirty":true})"},
    {"a text where a number belongs", heldPersists, R"({"lastOnlineTime":"soon"})"},
    {"a text where a bool belongs", heldPersists, R"({"siteData":"new","lockerActive":"yes"})"},
    {"a number out of 32-bit range", heldPersists, R"({"siteData":"new","pollingInterval":4294967296})"},
    {"a wrong type among the base flags", heldPersists, R"({"siteData":"new","remoteDirty":"true"})"},
    {"a record object that is a text", heldSid, R"({"id":"new","record":"text"})"},
    {"a record member that is an array", heldSid, R"({"id":"new","record":{"prikey":[1]}})"},
};

TEST(RecordRead, WrongJsonTypeIsProtocolFailureAndChangesNothing) {
    for (const WrongTypeCase& c : wrongTypeCases) {
        for (const char* way : {"update", "restore", "fromJSONValue"}) {
            auto record = c.make();
            const std::string before = record->toJSON(false);
            const Flags flagsBefore = flagsOf(*record);
            try {
                if (std::string(way) == "update") record->update(std::string(c.input));
                else if (std::string(way) == "restore") record->restore(c.input);
                else record->fromJSONValue(json(c.input));
                ADD_FAILURE() << c.name << " via " << way << " must fail";
            } catch (const VxMetaException& e) {
                EXPECT_EQ(e.category, VXMECAT_PROTOCOL) << c.name;
            }
            EXPECT_EQ(record->toJSON(false), before) << c.name << " via " << way;
            expectFlags(*record, flagsBefore, c.name);
        }
    }
}

TEST(RecordRead, ValueThatIsNotAnObjectIsAnInternalFailure) {
    for (const char* input : {"[]", "[{}]", "\"text\"", "12", "null", "true"}) {
        Etag record;
        record.etag = 4;
        try {
            record.update(std::string(input));
            ADD_FAILURE() << input;
        } catch (const VxMetaException& e) {
            EXPECT_EQ(e.category, VXMECAT_INTERNAL) << input;
            EXPECT_EQ(e.message, "Value is not in correct object format") << input;
        }
        EXPECT_EQ(record.etag, 4) << input;
        EXPECT_TRUE(record.remoteDirty) << input;
    }
}

TEST(RecordRead, IdTexts) {
    const struct {
        int64_t id;
        const char* text;
    } cases[] = {{0, ""}, {-5, ""}, {1, "1"}, {42, "42"}, {1234567, "1234567"}, {9007199254740993, "9007199254740993"}};
    for (const auto& c : cases) EXPECT_EQ(idStr(c.id), c.text) << c.id;
    EXPECT_EQ(idStr(std::string("a/b c")), "a/b c");
    EXPECT_EQ(idStr(std::string()), "");
}

TEST(RecordRead, RefreshPath) {
    Etag etag;
    EXPECT_EQ(etag.refreshSuffix(""), "etag");
    EXPECT_EQ(etag.refreshSuffix("123"), "etag?since=123");
    EXPECT_EQ(etag.refreshSuffix("2024-01-02 10:00"), "etag?since=2024-01-02+10%3A00");
}

} // namespace
