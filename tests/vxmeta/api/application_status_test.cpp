// The entries of an application status: the first one full, later ones with the changed members,
// nothing for a status without a value or without changes, everything again after markDirty; and the
// two JSON helpers they rest on.
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "vxmeta/api/application_status.h"
#include "vxmeta/foundation/clock.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/json.h"

using namespace VxMeta;

namespace {

// Equal JSON texts (the library writes time stamps as unsigned numbers, the parser reads them signed).
std::string text(const Json::Value& value) { return jsonString(value); }

std::set<std::string> names(const Json::Value& value) {
    const std::vector<std::string> list = value.getMemberNames();
    return {list.begin(), list.end()};
}

TEST(ApplicationStatusEntry, ChangesOnly) {
    auto clock = std::make_shared<ManualClock>(1700000000000);
    setClock(clock);
    ApplicationStatus status("av", "2.1", "urn:r");
    EXPECT_TRUE(status.getJson(true).isNull()) << "no value recorded yet";

    status.update(ApplicationCompliance("q", true, 3, "ok", "fine"), std::string("{\"n\":1}"));
    const Json::Value first = status.getJson(true);
    EXPECT_EQ(text(first), text(parseJson(R"({"version":"2.1","compliance":true,"protocol":3,"level":"ok",
        "text":"fine","details":{"n":1},"qualifier":"q","kind":"av","refurn":"urn:r","timestamp":1700000000})")));
    EXPECT_TRUE(status.getJson(true).isNull()) << "reported";

    clock->advanceSeconds(10);
    status.update(ApplicationCompliance("q", false, 3, "ok", "fine"), std::string("{\"n\":1}"));
    EXPECT_EQ(text(status.getJson(true)),
              text(parseJson(R"({"compliance":false,"qualifier":"q","kind":"av","refurn":"urn:r","timestamp":1700000010})")));

    status.update(ApplicationCompliance("q", false, 3, "ok", "fine"), std::string("{\"n\":1}"));
    EXPECT_TRUE(status.getJson(false).isNull()) << "the same values";

    status.update(ApplicationCompliance("q2", false, 3, "ok", "fine"), std::string("not json"));
    EXPECT_EQ(names(status.getJson(false)), (std::set<std::string>{"details", "qualifier", "kind", "refurn",
                                                                    "timestamp"}))
        << "an unparsable text gives null details; a new qualifier alone is carried anyway";

    status.markDirty();
    EXPECT_EQ(names(status.getJson(true)).size(), 10u) << "everything again";
    setClock(nullptr);
}

TEST(ApplicationStatusEntry, WithoutMarkingItIsReportedAgain) {
    ApplicationStatus status("av", "1", "urn:r");
    status.update(ApplicationCompliance("q", true, 1, "l", "t"), Json::Value());
    EXPECT_FALSE(status.getJson(false).isNull());
    EXPECT_TRUE(status.getJson(false).isNull()) << "what was rendered counts as sent";
}

TEST(ApplicationStatusEntry, AnEmptyKindIsRefused) {
    try {
        ApplicationStatus status("", "1", "urn:r");
        ADD_FAILURE();
    } catch (const VxMetaException& e) {
        EXPECT_EQ(e.message, "kind may not be empty");
    }
}

TEST(ApplicationStatusJson, OnlyChangesAndJoin) {
    const Json::Value older = parseJson(R"({"a":1,"b":{"c":2},"d":"x"})");
    EXPECT_EQ(onlyChanges(older, parseJson(R"({"a":1,"b":{"c":3},"e":null})")), parseJson(R"({"b":{"c":3},"e":null})"));
    EXPECT_TRUE(onlyChanges(older, older).isNull());
    EXPECT_EQ(onlyChanges(Json::Value(), older), older);
    EXPECT_EQ(onlyChanges(older, Json::Value(5)), Json::Value(5));
    EXPECT_EQ(join(older, parseJson(R"({"a":2,"z":true})")), parseJson(R"({"a":2,"b":{"c":2},"d":"x","z":true})"));
    EXPECT_EQ(join(Json::Value(), parseJson(R"({"a":1})")), parseJson(R"({"a":1})"));
}

} // namespace
