// The policies the service hands out as team data, and the one-time signature check of a record.
#include "vxmeta/access/access_checks.h"
#include "vxmeta/access/accounts_seam.h"
#include "vxmeta/access/state_seam.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/text.h"
#include "vxmeta/foundation/version.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/persists.h"
#include "vxmeta/records/satellite_policy.h"
#include "vxmeta/records/team_data.h"

namespace VxMeta {

namespace {

// Reads the policy text; content that cannot be read leaves the policy's defaults.
SatellitePolicy readSatellitePolicy(const std::string& text) {
    SatellitePolicy policy;
    try {
        policy.fromJSON(text);
    } catch (const VxMetaException&) {
        policy = SatellitePolicy();
    }
    const Version version(policy.version);
    if (version < V_1_0_257) policy.skey_flag |= 0xA;
    if (version < V_1_0_260) policy.skey_flag &= ~0x4;
    return policy;
}

void applySatellitePolicy(const TeamData& record) {
    LockScope lock(masterMutex);
    const SatellitePolicy policy = readSatellitePolicy(record.value);
    if (myPersists) {
        if (myPersists->offline_access_hours != policy.offline_access_hours) {
            myPersists->offline_access_hours = policy.offline_access_hours;
            myPersists->localDirty = true;
        }
        if (myPersists->ma_credential_interval_minutes != policy.ma_credential_interval_minutes) {
            myPersists->ma_credential_interval_minutes = policy.ma_credential_interval_minutes;
            myPersists->localDirty = true;
        }
    }
    setSatellitePolicy(policy);
}

} // namespace

void checkSignature(VxMetadata& record) {
    int32_t state = 0;
    {
        // Under the master lock only what the dataset holds is used: no signer is asked for.
        LockScope lock(masterMutex);
        state = record.verified;
        if (state == 1) return;
        if (state == 0 && record.verifySignature()) {
            record.verified = 1;
            return;
        }
    }
    if (state == 0) {
        // Without the master lock: the signer's identity may still have to be looked up, and the
        // record is read again from the service when it does not verify even then.
        bool refetched = false;
        if (!record.verifySignature()) {
            record.get();
            refetched = true;
        }
        LockScope lock(masterMutex);
        if (record.verifySignature()) {
            if (refetched) record.localDirty = true;
            record.verified = 1;
            return;
        }
        record.verified = 2;
    }
    addSyncProblem(VxMetaException(VXMECAT_PROTOCOL, Fmt("Invalid signature on %s", record.getSuffix())));
}

void updatePolicy() {
    RecordList<TeamData> records;
    {
        LockScope lock(masterMutex);
        if (myTeamDatas) records = *myTeamDatas;
    }
    for (const std::shared_ptr<TeamData>& record : records) {
        if (!record) continue;
        std::string kind;
        {
            LockScope lock(masterMutex);
            kind = record->kind;
        }
        if (kind == "Satellite Policy") {
            // Applied only when the service's signature over it checks.
            checkSignature(*record);
            bool valid = false;
            {
                LockScope lock(masterMutex);
                valid = record->verified == 1;
            }
            if (valid) applySatellitePolicy(*record);
        } else if (kind == "MFAPolicy") {
            checkSignature(*record);
            adoptMfaPolicy(*record);
        }
    }
}

} // namespace VxMeta
