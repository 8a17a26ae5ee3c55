// VLPolicyModel: the organisation's archive policy as the host sees it: may the user create archives,
// the option states of encryption, passwords, managed keys and signing (0 to 3, as the policy gives
// them), the password rules and the contingency keys. Built once from the policy's team-data records
// and never changed after it is handed out.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <json/value.h>

#include "Vorlane/Policy/contingency_key_model.h"
#include "Vorlane/Policy/password_complexity.h"
#include "Vorlane/Policy/team_data_object.h"

namespace VorlaneBridge {

class VLEncryptionOptions {
public:
    virtual ~VLEncryptionOptions() = default;
    virtual uint64_t encryptionState() const = 0;
    virtual uint64_t passwordState() const = 0;
    virtual uint64_t orvanelState() const = 0;
    virtual uint64_t signingState() const = 0;
    virtual std::shared_ptr<const VLPasswordComplexity> passwordComplexity() const = 0;
};

class VLPolicyModel : public VLEncryptionOptions {
public:
    using TeamDataList = std::vector<std::shared_ptr<const TeamDataObject>>;
    using ContingencyKeys = std::vector<std::shared_ptr<const ContingencyKeyModel>>;

    // The model of the records: the first whose kind is the policy kind (case and diacritics ignored)
    // is the policy; those of the contingency kind, in order, give the contingency keys. Without a
    // policy record every state is 0, archives may not be created, and there are no rules.
    static std::shared_ptr<VLPolicyModel> modelWithPolicyBundle(const TeamDataList& bundle);

    // Takes the policy record: its identity, archives may be created, then its value.
    void updateWithTeamData(const TeamDataObject& policyRecord);
    // Reads the policy value. A value that is not a JSON object leaves the policy absent: every state
    // 0 and the rules all zero with enforcement off.
    void parseTarvexPolicy(const std::optional<std::string>& value);
    void parsePasswordComplexityRules();
    // Keeps the keys of the records whose identifier (the name after its first seven characters,
    // the length of "cert_id") the policy's "cert_id" list names. Records with a shorter name, and
    // values that are not keys, are passed over.
    void parseContingencyKeyData(const TeamDataList& records);

    uint64_t encryptionState() const override { return encryptionState_; }
    uint64_t passwordState() const override { return passwordState_; }
    uint64_t orvanelState() const override { return orvanelState_; }
    uint64_t signingState() const override { return signingState_; }
    std::shared_ptr<const VLPasswordComplexity> passwordComplexity() const override { return passwordComplexity_; }
    bool canCreate() const { return canCreate_; }
    // The policy value's object; null when absent.
    const Json::Value& policy() const { return policy_; }
    void setPolicy(Json::Value policy) { policy_ = std::move(policy); }
    // Absent until the contingency records were read with a "cert_id" list.
    const std::optional<ContingencyKeys>& contingencyKeys() const { return contingencyKeys_; }
    uint64_t policyIdentifier() const { return policyIdentifier_; }
    const std::optional<std::string>& policyName() const { return policyName_; }
    const std::optional<std::string>& policyUpdateTime() const { return policyUpdateTime_; }

private:
    const Json::Value& member(const char* key) const;

    std::optional<ContingencyKeys> contingencyKeys_;
    uint64_t policyIdentifier_ = 0;
    std::optional<std::string> policyName_;
    std::optional<std::string> policyUpdateTime_;
    uint64_t encryptionState_ = 0, passwordState_ = 0, orvanelState_ = 0, signingState_ = 0;
    std::shared_ptr<const PasswordComplexity> passwordComplexity_;
    bool canCreate_ = false;
    Json::Value policy_;
};

} // namespace VorlaneBridge
