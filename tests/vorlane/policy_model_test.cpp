#include "Vorlane/Policy/policy_facade.h"
#include "Vorlane/Policy/policy_keys.h"
#include "Vorlane/Policy/vl_policy_model.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/json.h"

namespace VorlaneBridge {
namespace {

std::shared_ptr<const TeamDataObject> record(std::string kind, std::optional<std::string> name,
                                             std::optional<std::string> value, uint64_t id = 1) {
    return std::make_shared<BridgeTeamData>(id, std::move(kind), std::move(name), std::move(value), "2026-01-02");
}

std::shared_ptr<VLPolicyModel> policyOf(const std::string& value) {
    return VLPolicyModel::modelWithPolicyBundle({record("Satellite Policy", "policy", value)});
}

struct States {
    uint64_t encryption, password, orvanel, signing;
    bool canCreate;
    bool operator==(const States&) const = default;
};

States statesOf(const VLPolicyModel& model) {
    return {model.encryptionState(), model.passwordState(), model.orvanelState(), model.signingState(), model.canCreate()};
}

void PrintTo(const States& s, std::ostream* out) {
    *out << s.encryption << "/" << s.password << "/" << s.orvanel << "/" << s.signing << (s.canCreate ? " create" : "");
}

TEST(PolicyModel, WithoutAPolicyRecordNothingIsAllowed) {
    for (const VLPolicyModel::TeamDataList& bundle :
         {VLPolicyModel::TeamDataList{}, VLPolicyModel::TeamDataList{record("MFAPolicy", "mfa", "{\"zip_crypt\":1}")},
          VLPolicyModel::TeamDataList{record("Satellite Policy Contingency", "cert_id1", "{\"zip_crypt\":1}")}}) {
        const std::shared_ptr<VLPolicyModel> model = VLPolicyModel::modelWithPolicyBundle(bundle);
        EXPECT_EQ(statesOf(*model), (States{0, 0, 0, 0, false}));
        EXPECT_EQ(model->passwordComplexity(), nullptr);
        EXPECT_TRUE(model->policy().isNull());
        EXPECT_FALSE(model->contingencyKeys().has_value());
    }
}

TEST(PolicyModel, OptionStatesFollowThePolicyValue) {
    const std::vector<std::pair<std::string, States>> cases = {
        {R"({"zip_crypt": 2, "zip_crypt_pwd": 0, "zip_crypt_skey": 1, "zip_sign": 7})", {2, 2, 2, 1, true}},
        {R"({"zip_crypt": 1, "zip_crypt_pwd": 0, "zip_crypt_skey": 3, "zip_sign": 2})", {1, 0, 3, 2, true}},
        {R"({"zip_crypt": 3, "zip_crypt_pwd": 2})", {3, 2, 1, 1, true}},
        {R"({"zip_crypt": 0, "zip_crypt_pwd": 3, "zip_crypt_skey": 0})", {0, 3, 0, 1, true}},
        {R"({"zip_crypt": 4, "zip_crypt_pwd": -1, "zip_crypt_skey": "2", "zip_sign": 1.5})", {1, 1, 1, 1, true}},
        {R"({"zip_create": false})", {1, 1, 1, 1, false}},
        {R"({"zip_create": true, "zip_crypt": 2})", {2, 2, 2, 1, true}},
        {R"({})", {1, 1, 1, 1, true}},
        // A value that is no JSON object: nothing is found in it, but archives may be created.
        {"not json", {0, 0, 0, 0, true}},
        {R"([{"zip_create": false}])", {0, 0, 0, 0, true}},
    };
    for (const auto& [value, expected] : cases) {
        const std::shared_ptr<VLPolicyModel> model = policyOf(value);
        EXPECT_EQ(statesOf(*model), expected) << value;
        ASSERT_NE(model->passwordComplexity(), nullptr) << value;
        EXPECT_FALSE(model->passwordComplexity()->enforceComplexityRules()) << value;
        EXPECT_EQ(model->policy().isNull(), value == "not json" || value[0] == '[') << value;
    }
}

TEST(PolicyModel, ThePolicyRecordIsTheFirstOfItsKindInAnyCaseAndWithAnyAccents) {
    const std::shared_ptr<VLPolicyModel> model = VLPolicyModel::modelWithPolicyBundle({
        record("Satellite Policy Contingency", "cert_id1", R"({"zip_crypt": 3})", 1),
        record("sAtÉllite pOlicy", "first", R"({"zip_crypt": 0})", 7),
        record("Satellite Policy", "second", R"({"zip_crypt": 3})", 8),
    });
    EXPECT_EQ(model->encryptionState(), 0u);
    EXPECT_EQ(model->policyIdentifier(), 7u);
    EXPECT_EQ(model->policyName(), "first");
    EXPECT_EQ(model->policyUpdateTime(), "2026-01-02");

    // A kind that only begins like the policy's is another kind.
    EXPECT_FALSE(VLPolicyModel::modelWithPolicyBundle({record("Satellite Policy 2", "p", "{}")})->canCreate());
    EXPECT_FALSE(VLPolicyModel::modelWithPolicyBundle({record("Satellite\xff Policy", "p", "{}")})->canCreate());
}

TEST(PolicyModel, PasswordRulesAreReadWithPositionsAboveTwoAsNone) {
    const std::shared_ptr<VLPolicyModel> model = policyOf(
        R"({"pwd_chk": true, "pwd_min": 8, "pwd_max": 64, "pwd_rep": 2, "pwd_l_min": 1, "pwd_l_pos": 5,
            "pwd_u_min": 2, "pwd_u_pos": 2, "pwd_d_min": 3, "pwd_d_pos": 1, "pwd_s_min": 4, "pwd_s_pos": "1"})");
    const std::shared_ptr<const VLPasswordComplexity> rules = model->passwordComplexity();
    ASSERT_NE(rules, nullptr);
    EXPECT_TRUE(rules->enforceComplexityRules());
    EXPECT_EQ(rules->minLength(), 8u);
    EXPECT_EQ(rules->maxLength(), 64u);
    EXPECT_EQ(rules->maxRepeats(), 2u);
    EXPECT_EQ(rules->minLowercase(), 1u);
    EXPECT_EQ(rules->prohibitedLowercasePosition(), 0u);
    EXPECT_EQ(rules->minUppercase(), 2u);
    EXPECT_EQ(rules->prohibitedUppercasePosition(), 2u);
    EXPECT_EQ(rules->minDigits(), 3u);
    EXPECT_EQ(rules->prohibitedDigitsPosition(), 1u);
    EXPECT_EQ(rules->minSymbols(), 4u);
    EXPECT_EQ(rules->prohibitedSymbolsPosition(), 0u);
    // Reading the rules added nothing to the policy the host sees.
    EXPECT_EQ(model->policy().getMemberNames().size(), 12u);
    EXPECT_FALSE(model->policy().isMember("zip_create"));
}

VLPolicyModel::TeamDataList withContingency(const std::string& certIds, VLPolicyModel::TeamDataList records) {
    Json::Value policy(Json::objectValue);
    policy["cert_id"] = certIds;
    records.insert(records.begin(), record("Satellite Policy", "policy", VxMeta::jsonString(policy)));
    return records;
}

std::string keyValue(const std::string& type, const std::string& data = "AQID") {
    return "{\"data\":\"" + data + "\",\"type\":\"" + type + "\"}";
}

std::vector<std::pair<uint64_t, std::string>> keysOf(const VLPolicyModel& model) {
    std::vector<std::pair<uint64_t, std::string>> keys;
    if (model.contingencyKeys())
        for (const auto& key : *model.contingencyKeys()) keys.emplace_back(key->type(), key->data());
    return keys;
}

TEST(PolicyModel, ContingencyKeysAreThoseTheCertificateListNames) {
    const std::string contingency = "Satellite Policy Contingency";
    const auto one = record(contingency, "cert_id1", keyValue("X509", "AQID"));
    const auto two = record(contingency, "cert_id2", keyValue("PGP", "BAUG"));
    const auto three = record(contingency, "cert_id3", keyValue("X509", "BwgJ"));

    EXPECT_EQ(keysOf(*VLPolicyModel::modelWithPolicyBundle(withContingency("1,2", {one, three}))),
              (std::vector<std::pair<uint64_t, std::string>>{{1, "\x01\x02\x03"}}));
    // The second identifier keeps its leading space.
    EXPECT_EQ(keysOf(*VLPolicyModel::modelWithPolicyBundle(withContingency("1, 2", {one, two}))),
              (std::vector<std::pair<uint64_t, std::string>>{{1, "\x01\x02\x03"}}));
    EXPECT_EQ(keysOf(*VLPolicyModel::modelWithPolicyBundle(withContingency("3,2", {one, two, three}))),
              (std::vector<std::pair<uint64_t, std::string>>{{2, "\x04\x05\x06"}, {1, "\x07\x08\x09"}}));

    // Names shorter than the prefix, and records without a name or value, are passed over.
    const std::shared_ptr<VLPolicyModel> shortNames = VLPolicyModel::modelWithPolicyBundle(withContingency(
        "1,,d", {record(contingency, "cert", keyValue("PGP")), record(contingency, "", keyValue("PGP")),
                 record(contingency, std::nullopt, keyValue("PGP")), record(contingency, "cert_i", keyValue("PGP")),
                 record(contingency, "cert_id1", std::nullopt), record(contingency, "\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9d", keyValue("PGP")),
                 one}));
    EXPECT_EQ(keysOf(*shortNames), (std::vector<std::pair<uint64_t, std::string>>{{2, "\x01\x02\x03"}, {1, "\x01\x02\x03"}}));
    ASSERT_TRUE(shortNames->contingencyKeys().has_value());

    // No list, or no contingency records: the keys stay absent; a list naming none: no keys.
    EXPECT_FALSE(VLPolicyModel::modelWithPolicyBundle(withContingency("", {one}))->contingencyKeys().has_value());
    EXPECT_FALSE(VLPolicyModel::modelWithPolicyBundle(withContingency("1", {}))->contingencyKeys().has_value());
    EXPECT_FALSE(policyOf(R"({"cert_id": 1})")->contingencyKeys().has_value());
    const auto none = VLPolicyModel::modelWithPolicyBundle(withContingency("9", {one}));
    ASSERT_TRUE(none->contingencyKeys().has_value());
    EXPECT_TRUE(none->contingencyKeys()->empty());
}

TEST(PolicyModel, AContingencyValueGivesAKeyOnlyWithBase64DataAndAKnownType) {
    struct Case {
        std::string json;
        std::optional<std::pair<uint64_t, std::string>> key;
    };
    const std::vector<Case> cases = {
        {keyValue("pgp"), std::make_pair(uint64_t{2}, std::string("\x01\x02\x03"))},
        {keyValue("x509"), std::make_pair(uint64_t{1}, std::string("\x01\x02\x03"))},
        {keyValue("X509", "AQ\\nID"), std::make_pair(uint64_t{1}, std::string("\x01\x02\x03"))},
        {keyValue("PGP", "AQI="), std::make_pair(uint64_t{2}, std::string("\x01\x02"))},
        {keyValue("DER"), std::nullopt},
        {keyValue("PGP", "AQI"), std::nullopt},
        {keyValue("PGP", "AQ=I"), std::nullopt},
        {R"({"data": "AQID"})", std::nullopt},
        {R"({"type": "PGP"})", std::nullopt},
        {R"({"data": 5, "type": "PGP"})", std::nullopt},
        {"[1]", std::nullopt},
        {"{", std::nullopt},
    };
    for (const Case& c : cases) {
        const std::shared_ptr<ContingencyKeyModel> key = ContingencyKeyModel::contingencyKeyWithJSON(c.json);
        ASSERT_EQ(key != nullptr, c.key.has_value()) << c.json;
        if (key) {
            EXPECT_EQ(std::make_pair(key->type(), key->data()), *c.key) << c.json;
        }
    }
}

TEST(PolicyFacade, AFailedRefreshKeepsThePreviousModelAndRemovalDropsIt) {
    int call = 0;
    PolicyLibrary library;
    library.getSatellitePolicyForUser = [&]() -> VxMeta::RecordListPtr<VxMeta::TeamData> {
        ++call;
        if (call == 2) throw VxMeta::VxMetaException("Communication Error", "the service is away");
        if (call == 3) throw std::runtime_error("not the library's");
        auto list = std::make_shared<VxMeta::RecordList<VxMeta::TeamData>>();
        auto datum = std::make_shared<VxMeta::TeamData>();
        datum->id = 12;
        datum->kind = "Satellite Policy";
        datum->name = "org";
        datum->value = R"({"zip_crypt": 3})";
        list->push_back(datum);
        return list;
    };
    PolicyFacade facade(nullptr, library);
    EXPECT_EQ(facade.policy(), nullptr);
    facade.refreshPolicy();
    const std::shared_ptr<const VLPolicyModel> first = facade.policy();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->encryptionState(), 3u);
    EXPECT_EQ(first->policyIdentifier(), 12u);
    EXPECT_EQ(first->policyUpdateTime(), std::nullopt); // an empty text is absent

    facade.refreshPolicy();
    EXPECT_EQ(facade.policy(), first);
    EXPECT_THROW(facade.refreshPolicy(), std::runtime_error);
    EXPECT_EQ(facade.policy(), first);

    facade.refreshPolicy();
    EXPECT_NE(facade.policy(), first); // every refresh builds a new model
    facade.removePolicy();
    EXPECT_EQ(facade.policy(), nullptr);
}

TEST(PolicyFacade, ReadersOnOtherThreadsSeeWholeModels) {
    std::atomic<int> round{0};
    PolicyLibrary library;
    library.getSatellitePolicyForUser = [&] {
        const int state = round++ % 4;
        auto list = std::make_shared<VxMeta::RecordList<VxMeta::TeamData>>();
        auto datum = std::make_shared<VxMeta::TeamData>();
        datum->kind = "Satellite Policy";
        datum->value = "{\"zip_crypt\":" + std::to_string(state) + ",\"zip_sign\":" + std::to_string(state) + "}";
        list->push_back(datum);
        return list;
    };
    PolicyFacade facade(nullptr, library);
    facade.refreshPolicy();
    std::atomic<bool> done{false};
    std::thread reader([&] {
        while (!done) {
            const std::shared_ptr<const VLPolicyModel> model = facade.policy();
            ASSERT_NE(model, nullptr);
            ASSERT_EQ(model->encryptionState(), model->signingState());
            ASSERT_EQ(model->policy()["zip_crypt"].asUInt64(), model->encryptionState());
        }
    });
    for (int i = 0; i < 300; ++i) facade.refreshPolicy();
    done = true;
    reader.join();
}

} // namespace
} // namespace VorlaneBridge
