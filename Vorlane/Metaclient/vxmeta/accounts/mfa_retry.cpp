#include "vxmeta/accounts/mfa_retry.h"

#include <utility>
#include <vector>

#include "vxmeta/access/access_checks.h"
#include "vxmeta/access/accounts_seam.h"
#include "vxmeta/accounts/mfa_pairs.h"
#include "vxmeta/accounts/mfa_policy.h"
#include "vxmeta/accounts/mfa_verification.h"
#include "vxmeta/accounts/mfa_verification_callback.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/log.h"
#include "vxmeta/foundation/text.h"
#include "vxmeta/records/mfa_pair.h"
#include "vxmeta/records/team_data.h"
#include "vxmeta/sync/meta_state.h"

namespace VxMeta {

namespace {

class VerificationRetryModel : public MfaRetryModel {
public:
    VerificationRetryModel(MfaPolicy verificationPolicy, std::vector<std::shared_ptr<MFAPair>> usablePairs,
                           const std::string& action, const std::string& challenge)
        : policy(std::move(verificationPolicy)), pairs(std::move(usablePairs)),
          verification(policy, pairs, false, action, challenge) {}

    bool canDoVerification(std::string& reason) override { return verification.canDoVerification(reason); }

    void wait() override {
        std::shared_ptr<MfaVerificationCallback> callback;
        {
            LockScope lock(masterMutex);
            callback = mfaVerificationCallbackSP;
        }
        // A callback removed since the question was allowed leaves it unanswered.
        if (callback) callback->wait(verification, pairs, policy);
    }

    bool getShouldLaunchCreateRemotely() const override { return verification.getShouldLaunchCreateRemotely(); }

    void launchCreateTotpPairInBrowser() override { VxMeta::launchCreateTotpPairInBrowser(); }

    std::string getToken() const override { return verification.getToken(); }

    MfaHeaderFields headerFields() const override {
        MfaHeaderFields fields;
        fields.token = verification.getToken();
        fields.pairId = verification.getPairId();
        fields.challenge = verification.getChallenge();
        if (std::shared_ptr<MFAPair> pair = verification.getNewPair()) fields.newPair = pair->toJSONValue(true);
        return fields;
    }

    void certificateRefused() override {
        std::shared_ptr<MFAPair> pair = verification.getNewPair();
        if (pair && pair->kind == MFA_KIND_CERTIFICATE) {
            policy.getCertificatePolicy().addToBlacklist(pair->associationValue);
        }
        verification.clearNewPair();
    }

private:
    MfaPolicy policy;
    std::vector<std::shared_ptr<MFAPair>> pairs;
    MfaVerification verification;
};

std::string textMember(const Json::Value& refusal, const char* name) {
    if (!refusal.isObject() || !refusal.isMember(name)) return std::string();
    const Json::Value& value = refusal[name];
    return value.isString() ? value.asString() : std::string();
}

} // namespace

std::unique_ptr<MfaRetryModel> makeMfaRetryModel(const Json::Value& refusal, std::string& message) {
    MfaPolicy policy;
    std::vector<std::shared_ptr<MFAPair>> pairs;
    {
        LockScope lock(masterMutex);
        policy = globalState.mfaPolicy;
        pairs = usableMfaPairs(policy, false);
    }
    if (refusal.isObject() && refusal.isMember("policy")) {
        try {
            TeamData record;
            record.fromJSONValue(refusal["policy"]);
            checkSignature(record);
            policy = MfaPolicy::fromTeamData(record);
        } catch (const VxMetaException& e) {
            message = Fmt("Error processing policy data from MFA Exception - %s", e.message);
            VXLOG(2, "%s", message.c_str());
        }
    }
    if (refusal.isObject() && refusal["pairs"].isArray()) {
        std::vector<std::shared_ptr<MFAPair>> given;
        for (const Json::Value& element : refusal["pairs"]) {
            try {
                auto pair = std::make_shared<MFAPair>();
                pair->fromJSONValue(element);
                given.push_back(pair);
            } catch (const VxMetaException& e) {
                message = Fmt("Error processing MFA pair data from MFA Exception - %s", e.message);
                VXLOG(2, "%s", message.c_str());
            }
        }
        pairs = usableMfaPairs(given, policy, false);
    }
    return std::make_unique<VerificationRetryModel>(policy, pairs, textMember(refusal, "action"),
                                                    textMember(refusal, "challenge"));
}

void connectMfaModel() { mfaRetryModelFactory = &makeMfaRetryModel; }

} // namespace VxMeta
