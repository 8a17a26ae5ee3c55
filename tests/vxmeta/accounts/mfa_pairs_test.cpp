// MFA pairings: which can serve a verification, the upload of a pairing the host created (blacklisted
// certificates, pairings already held, pairings without an association value, refusals of the
// service) and the service's MFA page.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "mfa_fixture.h"
#include "vxmeta/accounts/mfa_pairs.h"
#include "vxmeta/accounts/mfa_verification.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/records/persists.h"

using namespace VxMeta;
using VxMeta::testing::FakeReply;
using VxMeta::testing::FakeTransport;
using VxMeta::testing::LogCapture;
using namespace VxMetaTest;

namespace {

const char kBoth[] = R"({"required": true, "certificate": {"allowed": true}, "totp": {"allowed": true}})";

std::string idsOf(const std::vector<std::shared_ptr<MFAPair>>& pairs) {
    std::string text;
    for (const auto& pair : pairs) text += "[" + std::to_string(pair->id) + "]";
    return text;
}

std::string launchedAt;
void rememberLaunch(const std::string& address) { launchedAt = address; }

using MfaPairsTest = MfaTest;

TEST_F(MfaPairsTest, UsablePairsAreViewCopiesOfVerifiableAllowedEnabledKinds) {
    const RecordList<MFAPair> pairs{mfaPair(MFA_KIND_TOTP, 1), mfaPair(MFA_KIND_TOTP, 2, false),
                                    mfaPair(MFA_KIND_CERTIFICATE, 3, true, "cert-3"), nullptr, mfaPair("Voice", 4)};
    struct Case {
        const char* name;
        std::set<std::string> verify;
        const char* policy;
        bool includeDisabled;
        std::string ids;
    };
    const Case cases[] = {
        {"this system: TOTP only", {MFA_KIND_TOTP}, kBoth, false, "[1]"},
        {"disabled ones when asked", {MFA_KIND_TOTP}, kBoth, true, "[1][2]"},
        {"certificates when verifiable", {MFA_KIND_TOTP, MFA_KIND_CERTIFICATE, "Voice"}, kBoth, false, "[1][3]"},
        {"kinds the policy does not allow", {MFA_KIND_TOTP, MFA_KIND_CERTIFICATE}, R"({"required": true, "certificate": {"allowed": true}})",
         true, "[3]"},
        {"MFA not required", {MFA_KIND_TOTP}, R"({"totp": {"allowed": true}})", true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        setCapableMfaKinds(c.verify, {});
        const std::vector<std::shared_ptr<MFAPair>> usable = usableMfaPairs(pairs, mfaPolicyOf(c.policy), c.includeDisabled);
        EXPECT_EQ(idsOf(usable), c.ids);
        for (const auto& view : usable) {
            EXPECT_TRUE(view->secret.empty()) << "views leave the secret out";
            for (const auto& held : pairs) EXPECT_NE(view, held);
        }
    }
    setCapableMfaKinds({MFA_KIND_TOTP, MFA_KIND_CERTIFICATE}, {});
    holdPairs(pairs);
    EXPECT_EQ(idsOf(usableMfaPairs(mfaPolicyOf(kBoth), false)), "[1][3]");
    EXPECT_EQ(usableMfaPairs(mfaPolicyOf(kBoth), false)[1]->associationValue, "cert-3");
    EXPECT_EQ(mfaFailureOf([] { usableMfaPairs(mfaPolicyOf(kBoth, 2), false); }).category, VXMECAT_INVALID_SIGNATURE);
}

TEST_F(MfaPairsTest, AddingAPairUploadsItUnlessItIsBlacklistedOrAlreadyHeld) {
    const MfaPolicy policy = mfaPolicyOf(kBoth);
    EXPECT_FALSE(addMfaPair(nullptr, policy));
    EXPECT_EQ(mfaFailureOf([&] { addMfaPair(mfaPair(MFA_KIND_TOTP, 0), policy); }).message, "Must be logged in");
    EXPECT_TRUE(mfaRequestsSent().empty());

    logIn();
    holdPairs({mfaPair(MFA_KIND_TOTP, 1), mfaPair(MFA_KIND_CERTIFICATE, 2, true, "cert-2")});
    policy.getCertificatePolicy().addToBlacklist("cert-bad");
    FakeTransport::answerAll(FakeReply(201, R"({"id": 77, "kind": "TOTP", "name": "phone", "enabled": true})"));
    LogCapture log(5);
    // A blacklisted certificate, and a value a held pairing has (whatever its kind): nothing is sent.
    EXPECT_FALSE(addMfaPair(createMfaCertPair("cert-bad", "s"), policy));
    EXPECT_TRUE(log.contains("MFA pair=cert-bad, blacklisted - skipping"));
    EXPECT_TRUE(addMfaPair(mfaPair(MFA_KIND_TOTP, 0, true, "cert-2"), policy));
    EXPECT_TRUE(log.contains("MFA pair=cert-2, already added - skipping"));
    EXPECT_TRUE(mfaRequestsSent().empty());
    EXPECT_EQ(heldPairCount(), 2u);

    // A new TOTP pairing has no association value, like the one held: it is still a new pairing.
    auto phone = mfaPair(MFA_KIND_TOTP, 0);
    phone->name = "phone";
    EXPECT_TRUE(addMfaPair(phone, policy));
    ASSERT_EQ(mfaRequestsSent(), std::vector<std::string>{"POST mfapair/"});
    EXPECT_EQ(FakeTransport::requestText(FakeTransport::exchanges().back()),
              R"({"enabled":true,"id":0,"kind":"TOTP","name":"phone","secret":"secret-0"})");
    EXPECT_EQ(heldPairCount(), 3u);
    EXPECT_EQ(phone->id, 77);
    {
        LockScope lock(masterMutex);
        EXPECT_EQ(myMFAPairs->back(), phone);
    }
    EXPECT_EQ(idsOf(usableMfaPairs(policy, false)), "[1][77]");
}

TEST_F(MfaPairsTest, RefusedUploadsAreNotAddedAndInvalidCertificatesAreBlacklisted) {
    logIn();
    setCapableMfaKinds({MFA_KIND_TOTP, MFA_KIND_CERTIFICATE}, {});
    const MfaPolicy policy = mfaPolicyOf(kBoth);
    FakeTransport::answerAll(FakeReply(403, R"({"Message":"not accepted","reason":"MFA Certificate Invalid"})"));
    LogCapture log(5);
    EXPECT_FALSE(addMfaPair(createMfaCertPair("cert-9", "secret"), policy));
    EXPECT_TRUE(log.contains("MFA pair=cert-9, server validation failed - not accepted"));
    EXPECT_EQ(policy.getCertificatePolicy().getBlacklist(), std::set<std::string>{"cert-9"});
    EXPECT_EQ(mfaRequestsSent().size(), 1u);
    EXPECT_FALSE(addMfaPair(createMfaCertPair("cert-9", "secret"), policy));
    EXPECT_EQ(mfaRequestsSent().size(), 1u) << "a blacklisted certificate is not sent again";

    // The same reason for a TOTP pairing, and any other refusal: false, nothing blacklisted.
    EXPECT_FALSE(addMfaPair(mfaPair(MFA_KIND_TOTP, 0, true, "totp-1"), policy));
    FakeTransport::answerAll(FakeReply(403, R"({"Message":"no","reason":"Policy Violation"})"));
    EXPECT_FALSE(addMfaPair(createMfaCertPair("cert-10", "secret"), policy));
    EXPECT_EQ(policy.getCertificatePolicy().getBlacklist(), std::set<std::string>{"cert-9"});
    EXPECT_EQ(heldPairCount(), 0u);
    EXPECT_EQ(masterLockDepth(), 0);
}

TEST_F(MfaPairsTest, ManagementPageAddressAndItsLaunch) {
    logIn();
    setCapableMfaKinds({MFA_KIND_TOTP}, {MFA_KIND_TOTP});
    const auto totp = verificationKindDetailsMap.at(MFA_KIND_TOTP);
    bool remoteDuringRequest = true;
    std::string reply = R"({"url": "https://keys.example.test/mfa/settings"})";
    FakeTransport::install([&](const CommIO&) {
        remoteDuringRequest = totp->ableToCreateRemotely();
        return FakeReply(200, reply);
    });
    EXPECT_EQ(getManageMfaUrl(true), "https://keys.example.test/mfa/settings");
    EXPECT_FALSE(remoteDuringRequest) << "no remote creation offered while the page is fetched";
    EXPECT_TRUE(totp->ableToCreateRemotely());
    getManageMfaUrl(false);
    ASSERT_EQ(mfaRequestsSent(), (std::vector<std::string>{"POST aa/endUserLogin", "POST aa/endUserLogin"}));
    const std::vector<CommIO>& sent = FakeTransport::exchanges();
    EXPECT_EQ(FakeTransport::requestText(sent[sent.size() - 2]), R"({"op":"MFAAddTOTP"})");
    EXPECT_EQ(FakeTransport::requestText(sent.back()), R"({"op":"MFASettings"})");

    for (const char* malformed : {R"({"url": 5})", "{}", "[]", R"({"address": "x"})"}) {
        SCOPED_TRACE(malformed);
        reply = malformed;
        const VxMetaException e = mfaFailureOf([] { getManageMfaUrl(false); });
        EXPECT_EQ(e.category, VXMECAT_PROTOCOL);
        EXPECT_EQ(e.message, "Missing/Malformed response data");
    }

    reply = R"({"url": "https://keys.example.test/mfa/settings"})";
    FakeTransport::exchanges().clear();
    const VxMetaException unset = mfaFailureOf([] { launchCreateTotpPairInBrowser(); });
    EXPECT_EQ(unset.category, VXMECAT_CLIENT);
    EXPECT_EQ(unset.message, "Callback to launch browser not set up. Go to https://keys.example.test/mfa/settings manually.");
    EXPECT_EQ(mfaRequestsSent().size(), 1u);
    launchBrowserCallback = &rememberLaunch;
    launchCreateTotpPairInBrowser();
    launchBrowserCallback = nullptr;
    EXPECT_EQ(launchedAt, "https://keys.example.test/mfa/settings");
}

} // namespace
