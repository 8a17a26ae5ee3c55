// EncryptionData made from the client library's result record.
#pragma once

#include <memory>

#include "Vorlane/Cryption/encryption_info.h"
#include "vxmeta/api/raw_vorlane.h"

namespace VorlaneBridge {

// A new value from the library's result: each text read as a C string of UTF-8 (up to its first NUL,
// so a password the library padded with NULs reads as the one supplied), absent when it is empty
// (or not UTF-8).
std::shared_ptr<EncryptionData> initWithEncryptionInfo(VxMeta::RawVorlane::EncryptionInfo info);

} // namespace VorlaneBridge
