// Vorlane: the library's API object as hosts hold it, the public API behind the failover wrapper.
// Exactly one exists per process (the framework's holder creates it and never destroys it).
#pragma once

#include "vxmeta/api/raw_vorlane.h"

namespace VxMeta {

class Vorlane : public RawVorlane {
public:
    // Starts the library (through RawVorlane).
    Vorlane() = default;
};

} // namespace VxMeta
