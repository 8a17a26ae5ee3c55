// RawVorlane: the public API object of the client library. Constructing it starts the library.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "vxmeta/foundation/exception.h"

namespace VxMeta {

class RawVorlane {
public:
    // Starts the library (init).
    RawVorlane();

    // Under the master lock: the base URL of the server the cluster evaluator selects now.
    std::string getPrefix();
    // Under the sync lock: the synchronization problems kept so far, which are then forgotten.
    std::vector<VxMetaException> getSyncProblems();
    // The host could not keep the pairs of the last changes-only save: the next changes-only save
    // hands them out again (the persisted store's changesWereNotSaved).
    void changesWereNotSaved();

    std::string givenDeviceName;
    std::string givenDeviceGuid;
    uint64_t noticeSerial = 0;
};

} // namespace VxMeta
