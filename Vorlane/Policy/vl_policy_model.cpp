#include "Vorlane/Policy/vl_policy_model.h"

#include <algorithm>

#include "Vorlane/Policy/policy_keys.h"
#include "Vorlane/Policy/text_match.h"
#include "vxmeta/foundation/json.h"

namespace VorlaneBridge {

namespace {

constexpr size_t kIdentifierPrefixLength = sizeof(KEY_CERTIFICATE_IDS) - 1;

bool isKind(const TeamDataObject& record, const char* kind) {
    const std::optional<std::string> recordKind = record.kind();
    return recordKind && matchesIgnoringCaseAndDiacritics(*recordKind, kind);
}

// The name after its first seven characters (whole UTF-8 sequences); none for a shorter name.
std::optional<std::string> contingencyIdentifier(const std::optional<std::string>& name) {
    if (!name) return std::nullopt;
    size_t characters = 0;
    size_t at = 0;
    while (at < name->size() && characters < kIdentifierPrefixLength) {
        ++at;
        while (at < name->size() && (static_cast<unsigned char>((*name)[at]) & 0xC0) == 0x80) ++at;
        ++characters;
    }
    if (characters < kIdentifierPrefixLength) return std::nullopt;
    return name->substr(at);
}

} // namespace

// The member of the policy object under key (never adding it); null when absent.
const Json::Value& VLPolicyModel::member(const char* key) const {
    const Json::Value& policy = policy_;
    return policy.isObject() ? policy[key] : Json::Value::nullSingleton();
}

namespace {

std::vector<std::string> splitAtCommas(const std::string& text) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t comma = text.find(','); comma != std::string::npos; comma = text.find(',', start)) {
        parts.push_back(text.substr(start, comma - start));
        start = comma + 1;
    }
    parts.push_back(text.substr(start));
    return parts;
}

} // namespace

std::shared_ptr<VLPolicyModel> VLPolicyModel::modelWithPolicyBundle(const TeamDataList& bundle) {
    auto model = std::make_shared<VLPolicyModel>();
    for (const std::shared_ptr<const TeamDataObject>& record : bundle) {
        if (record && isKind(*record, teamDataKindTarvexPolicy)) {
            model->updateWithTeamData(*record);
            break;
        }
    }
    TeamDataList contingency;
    for (const std::shared_ptr<const TeamDataObject>& record : bundle)
        if (record && isKind(*record, teamDataKindContingencyKey)) contingency.push_back(record);
    model->parseContingencyKeyData(contingency);
    return model;
}

void VLPolicyModel::updateWithTeamData(const TeamDataObject& policyRecord) {
    policyIdentifier_ = policyRecord.identifier();
    policyName_ = policyRecord.name();
    policyUpdateTime_ = policyRecord.updatedAtString();
    canCreate_ = true;
    parseTarvexPolicy(policyRecord.value());
}

void VLPolicyModel::parseTarvexPolicy(const std::optional<std::string>& value) {
    policy_ = Json::Value();
    Json::Value parsed;
    if (value && VxMeta::mayParse(*value, parsed) && parsed.isObject()) policy_ = std::move(parsed);
    if (const std::optional<bool> allowed = policyBool(member(KEY_CREATE))) canCreate_ = *allowed;
    if (!policy_.isObject()) {
        // An unreadable policy: nothing is found in it.
        encryptionState_ = passwordState_ = orvanelState_ = signingState_ = 0;
    } else {
        encryptionState_ = optionStateForKey(policy_, KEY_CRYPT, 1);
        passwordState_ = encryptionState_ == 2 ? 2 : optionStateForKey(policy_, KEY_CRYPT_PWD, 1);
        orvanelState_ = encryptionState_ == 2 ? 2 : optionStateForKey(policy_, KEY_CRYPT_SKEY, 1);
        signingState_ = optionStateForKey(policy_, KEY_SIGNING, 1);
    }
    parsePasswordComplexityRules();
}

void VLPolicyModel::parsePasswordComplexityRules() {
    auto number = [&](const char* key) { return policyUnsigned(member(key)).value_or(0); };
    auto rules = std::make_shared<PasswordComplexity>();
    rules->setEnforceComplexityRules(policyBool(member(KEY_PWD_CHECK)).value_or(false));
    rules->setMinLength(number(KEY_PWD_MIN_LENGTH));
    rules->setMaxLength(number(KEY_PWD_MAX_LENGTH));
    rules->setMaxRepeats(number(KEY_PWD_MAX_NUM_REPEATS));
    rules->setMinLowercase(number(KEY_PWD_MIN_LOWERCASE));
    rules->setMinUppercase(number(KEY_PWD_MIN_UPPERCASE));
    rules->setMinDigits(number(KEY_PWD_MIN_DIGITS));
    rules->setMinSymbols(number(KEY_PWD_MIN_SYMBOLS));
    rules->setProhibitedLowercasePosition(tvPolicyPasswordPosition(member(KEY_PWD_LOWERCASE_POSITION)));
    rules->setProhibitedUppercasePosition(tvPolicyPasswordPosition(member(KEY_PWD_UPPERCASE_POSITION)));
    rules->setProhibitedDigitsPosition(tvPolicyPasswordPosition(member(KEY_PWD_DIGITS_POSITION)));
    rules->setProhibitedSymbolsPosition(tvPolicyPasswordPosition(member(KEY_PWD_SYMBOLS_POSITION)));
    passwordComplexity_ = std::move(rules);
}

void VLPolicyModel::parseContingencyKeyData(const TeamDataList& records) {
    if (records.empty()) return;
    const Json::Value& listed = member(KEY_CERTIFICATE_IDS);
    if (!listed.isString() || listed.asString().empty()) return;
    const std::vector<std::string> identifiers = splitAtCommas(listed.asString());
    ContingencyKeys keys;
    for (const std::shared_ptr<const TeamDataObject>& record : records) {
        const std::optional<std::string> identifier = contingencyIdentifier(record->name());
        if (!identifier || std::find(identifiers.begin(), identifiers.end(), *identifier) == identifiers.end()) continue;
        const std::optional<std::string> value = record->value();
        if (!value) continue;
        if (std::shared_ptr<ContingencyKeyModel> key = ContingencyKeyModel::contingencyKeyWithJSON(*value))
            keys.push_back(std::move(key));
    }
    contingencyKeys_ = std::move(keys);
}

} // namespace VorlaneBridge
