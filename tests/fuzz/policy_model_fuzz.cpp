// Fuzz target: the organisation's archive policy as the framework reads it, and the check of a typed
// password against its rules. The input is the policy record's value, the password, a contingency
// record's value, the policy record's kind and the contingency record's name, separated by kPart
// (an empty kind or name stands for the usual one). The model is built twice from the same records
// and must come out the same; its states stay in range; the check answers the same each time, and
// its answer is the first rule the single-rule checks find broken.
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "Vorlane/Policy/contingency_key_model.h"
#include "Vorlane/Policy/password_complexity_rules.h"
#include "Vorlane/Policy/policy_keys.h"
#include "Vorlane/Policy/text_match.h"
#include "Vorlane/Policy/vl_policy_model.h"
#include "fuzz_input.h"

using namespace VorlaneBridge;

namespace {

[[noreturn]] void broken(const char* what, const std::string& input) {
    std::fprintf(stderr, "%s: %s\n", what, input.c_str());
    std::abort();
}

using Error = VLPolicyPasswordComplexityError;
using Kind = Error::Kind;

// The first broken rule, found one rule at a time through the single-rule checks.
std::optional<Error> firstBrokenRule(const std::string& password, const VLPasswordComplexity& rules) {
    if (!rules.enforceComplexityRules()) return std::nullopt;
    if (!isAtLeastThisLong(password, rules.minLength())) return Error{Kind::tooShort, std::nullopt};
    if (rules.maxLength() != 0 && !isNoLongerThan(password, rules.maxLength())) return Error{Kind::tooLong, std::nullopt};
    if (!doesNotExceedThisNumberOfRepeatedCharacters(password, rules.maxRepeats()))
        return Error{Kind::tooManyRepeatingCharacters, std::nullopt};
    for (const CharacterType type :
         {CharacterType::lowercase, CharacterType::uppercase, CharacterType::digits, CharacterType::symbols}) {
        if (!hasAtLeast(password, min(rules, type), type)) return Error{Kind::tooFew, type};
        if (!hasNo(password, type, prohibitedPositionForType(rules, type))) return Error{Kind::invalidPosition, type};
    }
    return std::nullopt;
}

struct Shape {
    uint64_t encryption, password, orvanel, signing;
    bool canCreate;
    std::string policy;
    size_t keys;
    bool operator==(const Shape&) const = default;
};

Shape shapeOf(const VLPolicyModel& model) {
    return {model.encryptionState(),
            model.passwordState(),
            model.orvanelState(),
            model.signingState(),
            model.canCreate(),
            model.policy().toStyledString(),
            model.contingencyKeys() ? model.contingencyKeys()->size() + 1 : 0};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input = VxMetaFuzz::text(data, size);
    const std::vector<std::string> parts = VxMetaFuzz::split(input, VxMetaFuzz::kPart, 5);
    const std::string& value = VxMetaFuzz::part(parts, 0);
    const std::string& password = VxMetaFuzz::part(parts, 1);
    const std::string& keyValue = VxMetaFuzz::part(parts, 2);
    const std::string kind = VxMetaFuzz::part(parts, 3).empty() ? teamDataKindTarvexPolicy : VxMetaFuzz::part(parts, 3);
    const std::string name = VxMetaFuzz::part(parts, 4).empty() ? "cert_idK1" : VxMetaFuzz::part(parts, 4);

    const VLPolicyModel::TeamDataList bundle = {
        std::make_shared<BridgeTeamData>(1, kind, "policy", value, "2026-01-02"),
        std::make_shared<BridgeTeamData>(2, teamDataKindContingencyKey, name, keyValue, std::nullopt),
    };
    const std::shared_ptr<VLPolicyModel> model = VLPolicyModel::modelWithPolicyBundle(bundle);
    const std::shared_ptr<VLPolicyModel> again = VLPolicyModel::modelWithPolicyBundle(bundle);
    if (!(shapeOf(*model) == shapeOf(*again))) broken("the same records gave two models", input);

    const bool taken = matchesIgnoringCaseAndDiacritics(kind, teamDataKindTarvexPolicy);
    if (taken != (model->passwordComplexity() != nullptr) ||
        (!taken && (model->canCreate() || !model->policy().isNull())))
        broken("a policy record was taken or passed over against its kind", input);
    for (const uint64_t state :
         {model->encryptionState(), model->passwordState(), model->orvanelState(), model->signingState()})
        if (state > 3) broken("an option state above 3", input);
    if (!model->policy().isNull() && !model->policy().isObject()) broken("a policy that is not an object", input);

    const std::shared_ptr<const VLPasswordComplexity> rules = model->passwordComplexity();
    if (rules) {
        for (const CharacterType type :
             {CharacterType::lowercase, CharacterType::uppercase, CharacterType::digits, CharacterType::symbols})
            if (prohibitedPositionForType(*rules, type) > 2) broken("a position rule above 2", input);
        const std::optional<Error> answer = satisfiesComplexityRequirements(password, *rules);
        if (satisfiesComplexityRequirements(password, *rules) != answer) broken("the check answered twice differently", input);
        if (satisfiesComplexityRequirements(password, *again->passwordComplexity()) != answer)
            broken("the same rules answered differently", input);
        if (firstBrokenRule(password, *rules) != answer) broken("the check names another rule than the single checks", input);
        if (answer && answer->type) description(*answer->type);
    }

    if (const std::shared_ptr<ContingencyKeyModel> key = ContingencyKeyModel::contingencyKeyWithJSON(keyValue))
        if (key->type() != ContingencyKeyModel::kX509 && key->type() != ContingencyKeyModel::kPGP)
            broken("a contingency key of neither kind", input);
    return 0;
}
