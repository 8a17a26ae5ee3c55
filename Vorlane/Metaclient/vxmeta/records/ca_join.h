// CAJoin: a participant's membership in a team: the participant's signed answer ("allow" to join,
// "deny" to decline or leave) and, outside the signed part, the team's answer.
#pragma once

#include <cstdint>
#include <string>

#include "vxmeta/records/record.h"

namespace VxMeta {

class CAJoin : public Record<CAJoin> {
public:
    std::string created_at;
    std::string updated_at;
    std::string caurn;
    std::string participant;
    std::string ca;
    std::string userstatus;
    std::string signature;
    std::string teamstatus;
    int32_t team_id = 0;
    int64_t id = 0;
    int64_t participantid = 0;

    static constexpr RecordShape shape = RecordShape::SignedRecord;
    static const RecordSchema<CAJoin>& schema();
    std::string idstr() const override;
    // The team URN in lower case made file-name safe, "-", the participant.
    std::string geturn() const override;
    // verifySignedValue.
    [[nodiscard]] bool verifySignature() override;
    // True without a participant's answer; otherwise the own identity's public key must verify
    // the record text. Never fails.
    [[nodiscard]] bool verifySignedValue();
};

} // namespace VxMeta
