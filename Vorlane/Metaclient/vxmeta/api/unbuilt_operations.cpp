// Operations of the API object whose areas (archive passwords) are not built yet.
// Each keeps its final name and signature: queries answer empty, operations that would change
// something fail with VXMECAT_INTERNAL "Operation not available in this build".
#include "vxmeta/api/raw_vorlane.h"
#include "vxmeta/foundation/constants.h"

namespace VxMeta {

namespace {

[[noreturn]] void notAvailable() {
    throw VxMetaException(VXMECAT_INTERNAL, "Operation not available in this build");
}

template <class T>
RecordListPtr<T> emptyList() {
    return std::make_shared<RecordList<T>>();
}

} // namespace

std::string RawVorlane::getArchiveDecryptionPassword(const std::string&, bool) { notAvailable(); }

RawVorlane::EncryptionInfo RawVorlane::getArchiveEncryptionPassword(const std::string&) { notAvailable(); }

RawVorlane::EncryptionInfo RawVorlane::getArchiveEncryptionPassword(const std::string&, const std::string&) {
    notAvailable();
}

RawVorlane::EncryptionInfo RawVorlane::getArchiveEncryptionPassword(SingleAssetManager&) { notAvailable(); }

RawVorlane::EncryptionInfo RawVorlane::getArchiveEncryptionPassword(std::shared_ptr<AssetKey>) { notAvailable(); }

RawVorlane::EncryptionInfo RawVorlane::getArchiveEncryptionPassword(std::shared_ptr<AssetKey>, const std::string&) {
    notAvailable();
}

bool RawVorlane::isContingencyGroupActive() { return false; }

bool RawVorlane::canCreateKey(const std::string&) { return false; }

} // namespace VxMeta
