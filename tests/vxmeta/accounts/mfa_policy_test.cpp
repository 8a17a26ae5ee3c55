// The MFA policy: reading the signed team datum (wrong types, nulls and empty values leave defaults),
// the forgery failure of a policy whose signature did not check, the grace rule on the injectable
// clock, the certificate blacklist in the Persists record and the PKCS#11 driver settings.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "mfa_fixture.h"
#include "vxmeta/records/persists.h"

using namespace VxMeta;
using VxMeta::testing::FakeReply;
using VxMeta::testing::FakeTransport;
using VxMeta::testing::LogCapture;
using namespace VxMetaTest;

namespace {

std::string joined(const std::vector<std::string>& parts) {
    std::string text;
    for (const std::string& part : parts) text += "[" + part + "]";
    return text;
}

std::string joined(const std::set<std::string>& kinds) { return joined(std::vector<std::string>(kinds.begin(), kinds.end())); }

const std::string kForgery =
    "Multi-factor authentication policy signature is invalid. Possible forgery. Contact your system administrator.";

using MfaPolicyTest = MfaTest;

TEST_F(MfaPolicyTest, DocumentsReadOnlyWhatHasTheRightTypeAndLeaveDefaultsOtherwise) {
    struct Case {
        const char* document;
        bool required;
        bool notify;
        std::string login;   // "protected second grace" of getRequirement("login"), or "-" for the default
        std::string encrypt; // the same for "encrypt"
        std::string kinds;
        std::string prompt; // TOTP messagePrompt; "" for the default text
        std::string issuers;
        std::string subjects;
    };
    const std::string defaultPrompt = MFA_TOTP_POLICY_MESSAGE_PROMPT_DEFAULT;
    const Case cases[] = {
        {"not json", false, false, "-", "-", "", "", "", ""},
        {"[1,2]", false, false, "-", "-", "", "", "", ""},
        {R"({"required": true, "login": {"mode": 1, "gracePeriod": 300}})", true, false, "1 0 300", "-", "", "", "", ""},
        {R"({"required": false, "login": {"mode": 1}, "totp": {"allowed": true}})", false, false, "-", "-", "", "", "", ""},
        {R"({"login": {"mode": 1}, "totp": {"allowed": true}})", false, false, "-", "-", "", "", "", ""},
        {R"({"required": "true", "login": {"mode": 1}})", false, false, "-", "-", "", "", "", ""},
        {R"({"required": null, "notifyUserToAddMFA": true})", false, true, "-", "-", "", "", "", ""},
        {R"({"required": true, "notifyUserToAddMFA": 1})", true, false, "-", "-", "", "", "", ""},
        {R"({"required": true, "login": {"mode": 3}, "encrypt": {"mode": 2, "gracePeriod": 60}})", true, false,
         "1 1 0", "0 1 60", "", "", "", ""},
        {R"({"required": true, "login": {"mode": 5.0, "gracePeriod": 30.0}})", true, false, "1 0 30", "-", "", "", "", ""},
        {R"({"required": true, "login": {"mode": 1.5, "gracePeriod": "30"}})", true, false, "0 0 0", "-", "", "", "", ""},
        {R"({"required": true, "login": {"mode": 4294967297, "gracePeriod": null}})", true, false, "0 0 0", "-", "", "", "", ""},
        {R"({"required": true, "login": {}, "encrypt": [1], "decrypt": {"mode": true}})", true, false, "-", "-", "", "", "", ""},
        {R"({"required": true, "certificate": {"allowed": true}, "totp": {"allowed": true}})", true, false, "-", "-",
         "[Certificate][TOTP]", "", "", ""},
        {R"({"required": true, "certificate": {"allowed": 1}, "totp": {"allowed": "yes"}})", true, false, "-", "-", "", "", "", ""},
        {R"({"required": true, "totp": {"allowed": true, "messagePrompt": ""}})", true, false, "-", "-", "[TOTP]", "", "", ""},
        {R"({"required": true, "totp": {"messagePrompt": 5}})", true, false, "-", "-", "", "", "", ""},
        {R"({"totp": {"messagePrompt": "Code?"}})", false, false, "-", "-", "", "Code?", "", ""},
        {R"({"certificate": {"issuerFilter": "CN=a,,CN=b", "subjectFilter": ""}})", false, false, "-", "-", "", "",
         "[CN=a][][CN=b]", "[]"},
        {R"({"certificate": {"issuerFilter": 7, "subjectFilter": null}})", false, false, "-", "-", "", "", "", ""},
        {R"({"certificate": {}, "totp": null})", false, false, "-", "-", "", "", "", ""},
    };
    auto requirementText = [](const MfaRequirement& r) {
        if (r.getAction().empty()) return std::string("-");
        return std::to_string(r.getClientProtected()) + " " + std::to_string(r.getSecondFlag()) + " " +
               std::to_string(r.getGracePeriod());
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.document);
        const MfaPolicy policy = mfaPolicyOf(c.document);
        EXPECT_TRUE(policy.getValid());
        EXPECT_EQ(policy.getRequired(), c.required);
        EXPECT_EQ(policy.shouldNotifyUserToAddMfa(), c.notify);
        EXPECT_EQ(requirementText(policy.getRequirement(MFA_ACTION_LOGIN)), c.login);
        EXPECT_EQ(requirementText(policy.getRequirement(MFA_ACTION_ENCRYPT)), c.encrypt);
        EXPECT_EQ(requirementText(policy.getRequirement("share")), "-");
        EXPECT_EQ(joined(policy.getAllowedKinds()), c.kinds);
        EXPECT_EQ(policy.getTotpPolicy().messagePrompt, c.prompt.empty() ? defaultPrompt : c.prompt);
        EXPECT_EQ(policy.getTotpPolicy().getMessageNoPairsCannotCreate(),
                  MFA_TOTP_POLICY_MESSAGE_NO_PAIRS_CANNOT_CREATE_DEFAULT);
        EXPECT_EQ(policy.getCertificatePolicy().messageNoPairsInstalled,
                  MFA_CERTIFICATE_POLICY_MESSAGE_NO_PAIRS_INSTALLED_DEFAULT);
        EXPECT_EQ(joined(policy.getCertificatePolicy().issuerFilters), c.issuers);
        EXPECT_EQ(joined(policy.getCertificatePolicy().subjectFilters), c.subjects);
        EXPECT_EQ(policy.getCertificatePolicy().policyId, "MFAPolicy-MFA-4:2024-01-01T00:00:00Z");
        EXPECT_EQ(policy.clientVerifiedTime, 0);
    }
}

TEST_F(MfaPolicyTest, UnverifiedDatumGivesAPolicyThatRefusesEveryQuestion) {
    for (int32_t verified : {0, 2}) {
        SCOPED_TRACE(verified);
        LogCapture log(2);
        MfaPolicy policy = mfaPolicyOf(R"({"required": true, "login": {"mode": 1, "gracePeriod": 9}})", verified);
        EXPECT_EQ(log.lines(), (std::vector<std::pair<int, std::string>>{{2, "Teamdata=MFAPolicy-MFA-4 signature invalid"}}));
        EXPECT_FALSE(policy.getValid());
        const std::vector<std::function<void()>> questions = {
            [&] { policy.getRequired(); },
            [&] { policy.getAllowedKinds(); },
            [&] { policy.getRequirement(MFA_ACTION_LOGIN); },
            [&] { policy.getCertificatePolicy(); },
            [&] { policy.getTotpPolicy(); },
            [&] { policy.shouldNotifyUserToAddMfa(); },
        };
        for (const auto& question : questions) {
            const VxMetaException e = mfaFailureOf(question);
            EXPECT_EQ(e.category, VXMECAT_INVALID_SIGNATURE);
            EXPECT_EQ(e.message, kForgery);
        }
        // The sub-policies' own builders refuse such a datum too, each with its line.
        TeamData record;
        record.kind = "MFAPolicy";
        record.verified = verified;
        const MfaCertificatePolicy certificates = MfaCertificatePolicy::fromTeamData(record);
        const MfaTotpPolicy totp = MfaTotpPolicy::fromTeamData(record);
        EXPECT_EQ(log.lines().size(), 3u);
        EXPECT_EQ(mfaFailureOf([&] { certificates.getBlacklist(); }).message, kForgery);
        EXPECT_EQ(mfaFailureOf([&] { certificates.getAllowed(); }).message, kForgery);
        EXPECT_EQ(mfaFailureOf([&] { totp.getMessageNoPairsCannotCreate(); }).message, kForgery);
        // The grace rule still answers.
        policy.setClientVerified(kMfaStart - 10, 600);
        EXPECT_TRUE(policy.stillClientVerified(MfaRequirement(MFA_ACTION_LOGIN, true, false, 300)));
    }
}

TEST_F(MfaPolicyTest, GraceRuleOnTheClock) {
    struct Case {
        const char* name;
        int32_t grace;
        int64_t verifiedAgo; // -1: never verified
        double duration;
        bool covered;
    };
    const Case cases[] = {
        {"within both", 300, 100, 600, true},
        {"outside the grace period", 300, 400, 600, false},
        {"exactly at the grace limit", 300, 300, 600, true},
        {"one second past the grace limit", 300, 301, 600, false},
        {"verification expired", 300, 100, 60, false},
        {"exactly at the duration", 300, 60, 60, true},
        {"no duration", 300, 10, 0, false},
        {"no grace period", 0, 0, 600, false},
        {"never verified", 300, -1, 600, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MfaPolicy policy = mfaPolicyOf(R"({"required": true})");
        if (c.verifiedAgo >= 0) policy.setClientVerified(kMfaStart - c.verifiedAgo, c.duration);
        EXPECT_EQ(policy.stillClientVerified(MfaRequirement(MFA_ACTION_DECRYPT, true, false, c.grace)), c.covered);
    }
    // The lines name the requirement and whole seconds.
    LogCapture log(5);
    MfaPolicy policy;
    policy.setClientVerified(kMfaStart - 400, 600);
    policy.stillClientVerified(MfaRequirement(MFA_ACTION_LOGIN, true, false, 300));
    EXPECT_TRUE(log.contains("MFA requirement=\"login\", outside of defined grace period=300 (400)"));
    policy.setClientVerified(kMfaStart - 100, 60.5);
    policy.stillClientVerified(MfaRequirement(MFA_ACTION_LOGIN, true, false, 300));
    EXPECT_TRUE(log.contains(
        "MFA requirement=\"login\", client-side verification expired after 60 seconds (100 seconds have passed)"));
    policy.setClientVerified(kMfaStart - 100, -1e300);
    EXPECT_FALSE(policy.stillClientVerified(MfaRequirement(MFA_ACTION_LOGIN, true, false, 300)));
}

TEST_F(MfaPolicyTest, BlacklistIsKeptPerPolicyVersionInThePersistsRecord) {
    const MfaCertificatePolicy certificates = mfaPolicyOf(R"({"required": true})").getCertificatePolicy();
    {
        LockScope lock(masterMutex);
        myPersists->localDirty = false;
    }
    LogCapture log(5);
    certificates.addToBlacklist("cert-1");
    certificates.addToBlacklist("cert-1");
    certificates.addToBlacklist("");
    EXPECT_TRUE(log.contains("MFA Certificate=cert-1, added to blacklist for MFAPolicy-MFA-4:2024-01-01T00:00:00Z"));
    {
        LockScope lock(masterMutex);
        EXPECT_TRUE(myPersists->localDirty);
        EXPECT_EQ(jsonString(myPersists->mfaCertificateBlacklists),
                  R"({"MFAPolicy-MFA-4:2024-01-01T00:00:00Z":["cert-1","cert-1"]})");
        myPersists->mfaCertificateBlacklists["MFAPolicy-MFA-4:2024-01-01T00:00:00Z"].append(17);
    }
    EXPECT_EQ(certificates.getBlacklist(), std::set<std::string>{"cert-1"});
    // A new version of the policy datum starts a list of its own.
    const MfaCertificatePolicy newer =
        mfaPolicyOf(R"({"required": true})", 1, "2024-02-01T00:00:00Z").getCertificatePolicy();
    EXPECT_TRUE(newer.getBlacklist().empty());

    // Stored values of the wrong shape read as no blacklist; no Persists record: nothing happens.
    {
        LockScope lock(masterMutex);
        myPersists->mfaCertificateBlacklists = parseJson(R"({"MFAPolicy-MFA-4:2024-01-01T00:00:00Z": "cert-1"})");
    }
    EXPECT_TRUE(certificates.getBlacklist().empty());
    {
        LockScope lock(masterMutex);
        myPersists.reset();
    }
    certificates.addToBlacklist("cert-2");
    EXPECT_TRUE(certificates.getBlacklist().empty());
}

TEST_F(MfaPolicyTest, Pkcs11ConfigurationFallsBackToTheStoredOneAndOptionsMustNameADriver) {
    const std::string drivers = R"([{"name":"OpenSC","path":"/usr/lib/opensc-pkcs11.so"},{"path":7}])";
    FakeTransport::answerAll(FakeReply(200, drivers));
    EXPECT_EQ(jsonString(MfaCertificatePolicy::getPkcs11Configuration("Linux desk", "x86_64")), jsonString(parseJson(drivers)));
    EXPECT_EQ(mfaRequestsSent(),
              std::vector<std::string>{"GET ua/PKCS11Drivers?platform=Linux+desk&architecture=x86_64"});
    {
        LockScope lock(masterMutex);
        EXPECT_EQ(jsonString(myPersists->pkcs11Config), jsonString(parseJson(drivers)));
        EXPECT_TRUE(myPersists->localDirty);
    }
    // The service cannot be reached: the configuration fetched last.
    FakeTransport::answerAll(FakeReply(0, "", "connection refused"));
    EXPECT_EQ(jsonString(MfaCertificatePolicy::getPkcs11Configuration("Linux", "x86_64")), jsonString(parseJson(drivers)));

    Json::Value chosen;
    chosen["lib"] = "/usr/lib/opensc-pkcs11.so";
    chosen["slot"] = 2;
    EXPECT_TRUE(MfaCertificatePolicy::setPkcs11Options(chosen));
    EXPECT_EQ(MfaCertificatePolicy::getPkcs11Options(), chosen);
    Json::Value other;
    other["lib"] = "/elsewhere.so";
    EXPECT_FALSE(MfaCertificatePolicy::setPkcs11Options(other));
    EXPECT_FALSE(MfaCertificatePolicy::setPkcs11Options(parseJson(R"({"lib": 7})")));
    EXPECT_EQ(MfaCertificatePolicy::getPkcs11Options(), chosen) << "a refused choice keeps the old options";
    {
        LockScope lock(masterMutex);
        myPersists.reset();
    }
    EXPECT_FALSE(MfaCertificatePolicy::setPkcs11Options(chosen));
    EXPECT_TRUE(MfaCertificatePolicy::getPkcs11Configuration("Linux", "x86_64").isNull());
}

} // namespace
