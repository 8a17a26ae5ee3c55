// The policy facade over the API object, against the test key service: the organisation's records as
// the service publishes and signs them, before and after sign-in.
#include "Vorlane/Policy/policy_facade.h"

#include <gtest/gtest.h>

#include "vorlane/service/framework_api_object.h"
#include "vxmeta/accounts/service/managed_keys_fixture.h"

namespace VorlaneBridge {
namespace {

class PolicyFacadeOnTheService : public VxMeta::testing::ManagedKeysServiceTest {
protected:
    void SetUp() override {
        ManagedKeysServiceTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        testing::frameworkWrapper();
        VxMeta::setMds(service.servers.at(0), service.servicePublicKey);
    }
    void teamDatum(int team, const std::string& kind, const std::string& name, const std::string& value) {
        Json::Value spec;
        spec["team_id"] = team;
        spec["kind"] = kind;
        spec["name"] = name;
        spec["value"] = value;
        admin("/signed/teamdata", spec);
    }
};

TEST_F(PolicyFacadeOnTheService, TheSignedInUsersRecordsGiveStatesRulesAndTheListedContingencyKeys) {
    teamDatum(0, "Satellite Policy", "org",
              R"({"zip_crypt":2,"zip_crypt_pwd":0,"zip_crypt_skey":1,"zip_sign":7,"cert_id":"1,2",)"
              R"("pwd_chk":true,"pwd_min":8,"pwd_l_pos":5,"pwd_d_pos":2})");
    teamDatum(0, "Satellite Policy Contingency", "cert_id1", R"({"data":"AQID","type":"pgp"})");
    teamDatum(0, "Satellite Policy Contingency", "cert_id3", R"({"data":"BAUG","type":"X509"})");
    teamDatum(0, "Satellite Policy Contingency", "cert", R"({"data":"BwgJ","type":"X509"})");
    signInAs(person("policy@example.test"), true);

    PolicyFacade facade(testing::frameworkWrapper());
    facade.refreshPolicy();
    const std::shared_ptr<const VLPolicyModel> model = facade.policy();
    ASSERT_NE(model, nullptr);
    EXPECT_TRUE(model->canCreate());
    EXPECT_EQ(model->encryptionState(), 2u);
    EXPECT_EQ(model->passwordState(), 2u);
    EXPECT_EQ(model->orvanelState(), 2u);
    EXPECT_EQ(model->signingState(), 1u);
    EXPECT_EQ(model->policyName(), "org");
    EXPECT_NE(model->policyUpdateTime(), std::nullopt);
    ASSERT_NE(model->passwordComplexity(), nullptr);
    EXPECT_TRUE(model->passwordComplexity()->enforceComplexityRules());
    EXPECT_EQ(model->passwordComplexity()->minLength(), 8u);
    EXPECT_EQ(model->passwordComplexity()->prohibitedLowercasePosition(), 0u);
    EXPECT_EQ(model->passwordComplexity()->prohibitedDigitsPosition(), 2u);
    ASSERT_TRUE(model->contingencyKeys().has_value());
    ASSERT_EQ(model->contingencyKeys()->size(), 1u);
    EXPECT_EQ(model->contingencyKeys()->front()->type(), ContingencyKeyModel::kPGP);
    EXPECT_EQ(model->contingencyKeys()->front()->data(), "\x01\x02\x03");
}

TEST_F(PolicyFacadeOnTheService, BeforeSignInThePolicyComesFromTheServiceAndAFailureKeepsIt) {
    teamDatum(4, "Satellite Policy", "team four", R"({"zip_create":false})");
    PolicyFacade facade(testing::frameworkWrapper());

    // Nobody the service knows: refused, and there is still no model.
    facade.refreshPolicy();
    EXPECT_EQ(facade.policy(), nullptr);

    person("desk@example.test");
    Json::Value osUser;
    osUser["email"] = "desk@example.test";
    osUser["team_id"] = 4;
    admin("/managed/os-user", osUser);
    facade.refreshPolicy();
    const std::shared_ptr<const VLPolicyModel> model = facade.policy();
    ASSERT_NE(model, nullptr);
    EXPECT_FALSE(model->canCreate());
    EXPECT_EQ(model->encryptionState(), 1u);
    EXPECT_EQ(model->policyName(), "team four");

    Json::Value refused;
    refused["kind"] = "status";
    refused["status"] = 400;
    refused["body"] = "{\"Message\":\"Refused\"}";
    refused["path"] = "aa/satellitePolicy";
    service.fault(refused);
    facade.refreshPolicy();
    EXPECT_EQ(facade.policy(), model);
    EXPECT_GE(service.requestsTo("aa/satellitePolicy").size(), 3u);
}

} // namespace
} // namespace VorlaneBridge
