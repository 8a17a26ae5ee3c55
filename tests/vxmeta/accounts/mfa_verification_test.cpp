// The MFA verification model: which kinds a verification can use and whether the client must and can
// ask the host, with this system's capable kinds (verify "TOTP", create none) and with others; the
// per-thread switch that turns remote pairing creation off; the process-wide MFA time stamp.
#include <future>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "mfa_fixture.h"
#include "vxmeta/accounts/mfa_verification.h"
#include "vxmeta/accounts/thread_scoped_value.h"
#include "vxmeta/comm/mfa_header.h"

using namespace VxMeta;
using VxMeta::testing::LogCapture;
using namespace VxMetaTest;

namespace {

void answerNothing(std::shared_ptr<Signaler>&, MfaVerification) {}

const char kTotpOnly[] = R"({"required": true, "totp": {"allowed": true, "messageNoPairsCannotCreate": "Set it up"}})";
const char kCertificateOnly[] = R"({"required": true, "certificate": {"allowed": true}})";
const char kBoth[] = R"({"required": true, "certificate": {"allowed": true}, "totp": {"allowed": true}})";
const char kNotRequired[] = R"({"totp": {"allowed": true}})";

std::string kindsText(const std::set<std::string>& kinds) {
    std::string text;
    for (const std::string& kind : kinds) text += "[" + kind + "]";
    return text;
}

using MfaVerificationTest = MfaTest;

TEST_F(MfaVerificationTest, DecisionsWithTheCapabilitiesOfThisSystemAndOthers) {
    struct Case {
        const char* name;
        std::set<std::string> verify;
        std::set<std::string> create;
        const char* policy;
        std::vector<std::string> pairKinds;
        bool clientSide;
        bool callback;
        bool logged;
        std::string verificationKinds;
        bool needsClient;
        bool canDo;
        std::string reason;
        std::string refusal; // the log line's cause, "" when it may ask
    };
    const std::set<std::string> totp{MFA_KIND_TOTP};
    const std::set<std::string> certificate{MFA_KIND_CERTIFICATE};
    const std::set<std::string> both{MFA_KIND_CERTIFICATE, MFA_KIND_TOTP};
    const Case cases[] = {
        {"TOTP only: the service enforces", totp, {}, kTotpOnly, {"TOTP"}, true, true, true, "[TOTP]", false, true, "", ""},
        {"certificate only: not capable", totp, {}, kCertificateOnly, {"Certificate"}, true, true, true, "", true, false, "",
         "Not capable"},
        {"both allowed", totp, {}, kBoth, {"TOTP", "Certificate"}, true, true, true, "[TOTP]", false, true, "", ""},
        {"no usable pairing, none creatable", totp, {}, kTotpOnly, {"Certificate"}, true, true, true, "[TOTP]", false, false,
         "Set it up", "Unable to prompt to create MFA Pairing"},
        {"not required", totp, {}, kNotRequired, {"TOTP"}, true, true, true, "", true, false, "", "MFA is not enabled"},
        {"server side", totp, {}, kTotpOnly, {"TOTP"}, false, true, true, "[TOTP]", false, true, "", ""},
        {"no callback", totp, {}, kTotpOnly, {"TOTP"}, false, false, true, "[TOTP]", false, false, "", "Callback is not set"},
        {"certificates verified offline", both, {}, kCertificateOnly, {"Certificate"}, true, true, true, "[Certificate]", true,
         true, "", ""},
        {"certificate capable, TOTP allowed too", certificate, {}, kBoth, {}, true, true, true, "[Certificate]", true, false,
         MFA_TOTP_POLICY_MESSAGE_NO_PAIRS_CANNOT_CREATE_DEFAULT, "Unable to prompt to create MFA Pairing"},
        {"TOTP created on the page", totp, totp, kTotpOnly, {}, true, true, true, "[TOTP]", false, true, "", ""},
        {"the page is offered without a login", totp, totp, kTotpOnly, {}, true, true, false, "[TOTP]", false, true, "", ""},
        {"certificates created without a login", both, certificate, kCertificateOnly, {}, true, true, false, "[Certificate]",
         true, true, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        setCapableMfaKinds(c.verify, c.create);
        setMfaVerificationCallback(c.callback ? &answerNothing : nullptr);
        {
            LockScope lock(masterMutex);
            globalState.myPrikey = c.logged ? "key" : "";
        }
        std::vector<std::shared_ptr<MFAPair>> pairs;
        for (const std::string& kind : c.pairKinds) pairs.push_back(mfaPair(kind, static_cast<int64_t>(pairs.size() + 1)));
        pairs.push_back(nullptr);
        const MfaVerification verification(mfaPolicyOf(c.policy), pairs, c.clientSide, MFA_ACTION_DECRYPT, "ch");
        EXPECT_EQ(kindsText(verification.verificationKinds), c.verificationKinds);
        EXPECT_EQ(verification.needsClientVerification(), c.needsClient);
        LogCapture log(5);
        std::string reason;
        EXPECT_EQ(verification.canDoVerification(reason), c.canDo);
        EXPECT_EQ(reason, c.reason);
        if (!c.refusal.empty()) {
            EXPECT_TRUE(log.contains("Client unable to perform MFA verification: " + c.refusal));
        } else {
            EXPECT_TRUE(log.lines().empty());
        }
        for (const auto& [kind, set] : verification.pairsByKind) {
            EXPECT_TRUE(verification.verificationKinds.count(kind));
            EXPECT_FALSE(set.empty());
        }
    }
}

TEST_F(MfaVerificationTest, KindQuestionsForTheHost) {
    logIn();
    const std::vector<std::shared_ptr<MFAPair>> pairs{mfaPair(MFA_KIND_TOTP, 1), mfaPair(MFA_KIND_CERTIFICATE, 2)};
    // This system: TOTP verified with the service only, nothing created, no remote page.
    const MfaVerification client(mfaPolicyOf(kBoth), pairs, true, MFA_ACTION_LOGIN, "");
    EXPECT_FALSE(client.canVerifyKind(MFA_KIND_TOTP));
    EXPECT_FALSE(client.canVerifyKind(MFA_KIND_CERTIFICATE));
    const MfaVerification server(mfaPolicyOf(kBoth), pairs, false, MFA_ACTION_LOGIN, "ch");
    EXPECT_TRUE(server.canVerifyKind(MFA_KIND_TOTP));
    EXPECT_EQ(server.getChallenge(), "ch");
    EXPECT_FALSE(server.canCreateNewPairLocallyOfKind(MFA_KIND_TOTP));
    EXPECT_FALSE(server.canLaunchToCreateRemotelyOfKind(MFA_KIND_TOTP));
    EXPECT_FALSE(MfaVerification::canLaunchToCreateRemotely(mfaPolicyOf(kBoth)));

    setCapableMfaKinds({MFA_KIND_CERTIFICATE, MFA_KIND_TOTP}, {MFA_KIND_CERTIFICATE, MFA_KIND_TOTP});
    const MfaVerification capable(mfaPolicyOf(kBoth), pairs, true, MFA_ACTION_LOGIN, "");
    EXPECT_TRUE(capable.canVerifyKind(MFA_KIND_CERTIFICATE));
    EXPECT_FALSE(capable.canVerifyKind(MFA_KIND_TOTP)) << "not offline";
    EXPECT_TRUE(capable.canCreateNewPairLocallyOfKind(MFA_KIND_CERTIFICATE));
    EXPECT_TRUE(capable.canLaunchToCreateRemotelyOfKind(MFA_KIND_TOTP));
    EXPECT_FALSE(capable.canLaunchToCreateRemotelyOfKind(MFA_KIND_CERTIFICATE));
    EXPECT_TRUE(MfaVerification::canLaunchToCreateRemotely(mfaPolicyOf(kBoth)));
    EXPECT_FALSE(MfaVerification::canLaunchToCreateRemotely(mfaPolicyOf(kCertificateOnly)));

    // A verification whose kinds the client no longer verifies names what the policy allows.
    setMfaVerificationCallback(&answerNothing);
    const MfaVerification before(mfaPolicyOf(kBoth), pairs, false, MFA_ACTION_LOGIN, "");
    setCapableMfaKinds({"Voice"}, {});
    LogCapture log(5);
    std::string reason;
    EXPECT_FALSE(before.canDoVerification(reason));
    EXPECT_TRUE(log.contains("Client unable to perform MFA verification: Not capable of Certificate, TOTP"));

    // An invalid policy cannot be asked about.
    const VxMetaException forged = mfaFailureOf([&] { MfaVerification(mfaPolicyOf(kBoth, 2), pairs, true, "login", ""); });
    EXPECT_EQ(forged.category, VXMECAT_INVALID_SIGNATURE);

    // An unanswered verification: no token, no pair, no launch, an unlimited duration.
    MfaVerification answered = server;
    answered.token = "123456";
    answered.pairId = 1;
    answered.newPair = pairs[0];
    answered.clearNewPair();
    EXPECT_TRUE(answered.getToken().empty());
    EXPECT_EQ(answered.getPairId(), 0);
    EXPECT_FALSE(answered.getNewPair());
    EXPECT_FALSE(MfaVerification().getShouldLaunchCreateRemotely());
    EXPECT_GT(MfaVerification().getDuration(), 1e300);
}

TEST_F(MfaVerificationTest, RemoteCreationIsSwitchedOffForOneThreadWhileItFetchesThePage) {
    logIn();
    setCapableMfaKinds({MFA_KIND_TOTP}, {MFA_KIND_TOTP});
    const std::shared_ptr<MfaVerificationKindDetails> details = verificationKindDetailsMap.at(MFA_KIND_TOTP);
    auto elsewhere = [&] { return std::async(std::launch::async, [&] { return details->ableToCreateRemotely(); }).get(); };
    EXPECT_TRUE(details->ableToCreateRemotely());
    {
        auto handle = details->launchCreateRemotely();
        EXPECT_FALSE(details->ableToCreateRemotely());
        EXPECT_TRUE(elsewhere());
    }
    EXPECT_TRUE(details->ableToCreateRemotely());

    // Nested changes restore step by step; the thread's entry goes with the last handle.
    auto value = std::make_shared<ThreadScopedValue::Value<bool>>(true);
    EXPECT_FALSE(value->hasEntry());
    auto outer = value->ScopedChange(false);
    auto inner = value->ScopedChange(true);
    EXPECT_TRUE(value->Get());
    inner.reset();
    EXPECT_FALSE(value->Get());
    EXPECT_TRUE(value->hasEntry());
    outer.reset();
    EXPECT_TRUE(value->Get());
    EXPECT_FALSE(value->hasEntry());
    // A handle that outlives its value does nothing.
    auto orphan = value->ScopedChange(false);
    value.reset();
    orphan.reset();

    // The kind table.
    EXPECT_TRUE(verificationKindDetailsMap.at(MFA_KIND_CERTIFICATE)->canBeVerifiedOffline());
    EXPECT_FALSE(verificationKindDetailsMap.at(MFA_KIND_TOTP)->canBeVerifiedOffline());
    {
        LockScope lock(masterMutex);
        globalState.myPrikey.clear();
    }
    setCapableMfaKinds({}, {MFA_KIND_CERTIFICATE, MFA_KIND_TOTP});
    EXPECT_TRUE(verificationKindDetailsMap.at(MFA_KIND_CERTIFICATE)->ableToCreateLocally());
    EXPECT_FALSE(verificationKindDetailsMap.at(MFA_KIND_TOTP)->ableToCreateLocally());
    EXPECT_FALSE(verificationKindDetailsMap.at(MFA_KIND_CERTIFICATE)->ableToCreateRemotely());
}

TEST_F(MfaVerificationTest, TimestampIsTheOneTheRequestsSend) {
    EXPECT_TRUE(MfaVerification::getTimestamp().isNull());
    MfaVerification::setTimestamp(parseJson(R"({"issued": 5})"));
    EXPECT_EQ(jsonString(mfaTimestamp()), R"({"issued":5})");
    EXPECT_EQ(parseJson(getMfaHeader(MfaHeaderFields{}))["timestamp"]["issued"].asInt(), 5);
    MfaVerification::setTimestamp(Json::Value());
}

} // namespace
