#include "vxmeta/records/vx_metadata.h"

#include <utility>

#include "vxmeta/comm/vcsr.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/text.h"
#include "vxmeta/records/access_seam.h"
#include "vxmeta/records/field_codec.h"
#include "vxmeta/records/record_deletion.h"

namespace VxMeta {

VxMetadata::~VxMetadata() = default;

const char* VxMetadata::stem() const { return nullptr; }

std::string VxMetadata::refreshSuffix(const std::string& since) const {
    std::string path = stem() ? stem() : "";
    if (!since.empty()) path += querySuffix("since", since);
    return path;
}

namespace {

std::string stemOf(const VxMetadata& record) { return record.stem() ? record.stem() : ""; }

// The SID's changes are not counted in the user's expected etag.
bool countsInEtag(const VxMetadata& record) { return stemOf(record) != "sid"; }

} // namespace

std::string VxMetadata::idstr() const { return std::string(); }

std::string VxMetadata::geturn() const { return std::string(); }

void VxMetadata::encode(Json::Value&, bool) {}

void VxMetadata::decode(const Json::Value&) {}

void VxMetadata::postDecode() {}

bool VxMetadata::verifySignature() { return true; }

std::string VxMetadata::getSuffix() const {
    const std::string id = idstr();
    return id.empty() ? stemOf(*this) + "/" : stemOf(*this) + "/" + id + "/";
}

bool VxMetadata::get() { return fetch(getSuffix()); }

bool VxMetadata::fetch(const std::string& path) {
    VCSR executor;
    const std::string body = executor.get(path);
    const bool read = fromJSON(body);
    // The flags of the copy read are set under the master lock, as its members were.
    LockScope lock(masterMutex);
    verified = 0;
    if (read) remoteDirty = false;
    return read;
}

bool VxMetadata::findOne(const std::string& query) {
    VCSR executor;
    const std::string body = executor.get(stemOf(*this) + "/" + query);
    Json::Value value;
    if (!parse(body, value) || !value.isArray() || value.empty()) return false;
    fromJSONValue(value[0]);
    LockScope lock(masterMutex);
    verified = 0;
    remoteDirty = false;
    return true;
}

bool VxMetadata::post() {
    VCSR executor;
    const std::string reply = executor.post(stemOf(*this) + "/", toJSON(true));
    const bool result = fromJSON(reply);
    LockScope lock(masterMutex);
    verified = 0;
    originator = executor.lastStatus == 201;
    if (originator && countsInEtag(*this)) incrementEtag();
    return result;
}

bool VxMetadata::put() {
    VCSR executor;
    const std::string reply = executor.put(getSuffix(), toJSON(true));
    if (countsInEtag(*this)) incrementEtag();
    const bool result = fromJSON(reply);
    LockScope lock(masterMutex);
    verified = 0;
    return result;
}

bool VxMetadata::del() {
    // Without an id the path would name the whole collection.
    if (idstr().empty())
        throw VxMetaException(VXMECAT_INTERNAL, "Unable to delete " + stemOf(*this) + " record - it has no id");
    VCSR executor;
    executor.del(getSuffix());
    localDirty = false;
    remoteDirty = false;
    if (!countsInEtag(*this)) return true;
    incrementEtag();
    dropDeletedRecord(*this);
    return true;
}

bool VxMetadata::sync() {
    if (!remoteDirty) return true;
    bool sent = false;
    try {
        sent = idstr().empty() ? post() : put();
    } catch (const VxMetaException& e) {
        if (e.category == VXMECAT_MFA_DENIED) {
            remoteDirty = false;
            localDirty = true;
        }
        throw;
    }
    if (sent) {
        remoteDirty = false;
        localDirty = true;
    }
    return !remoteDirty;
}

bool VxMetadata::trySync() {
    try {
        return sync();
    } catch (const VxMetaException& e) {
        handleSyncFailure(e);
        return false;
    }
}

void VxMetadata::handleSyncFailure(const VxMetaException& e) {
    if (e.category == VXMECAT_HTTP && e.httpStatus == 409 && e.reason == VXMEREASON_REVISION && !idstr().empty())
        get();
    if (e.category == VXMECAT_COMMUNICATION_ERROR) checkRemoteDisabled();
    else addSyncProblem(e);
}

bool VxMetadata::fromJSON(const std::string& text) {
    Json::Value value;
    if (!parse(text, value)) return false;
    return fromJSONValue(value);
}

bool VxMetadata::fromJSONValue(const Json::Value& value) {
    if (!value.isObject()) throw VxMetaException(VXMECAT_INTERNAL, "Value is not in correct object format");
    LockScope lock(masterMutex);
    std::unique_ptr<VxMetadata> copy = cloneRecord();
    if (value.isMember("remoteDirty")) copy->remoteDirty = readBool(value["remoteDirty"], "remoteDirty");
    if (value.isMember("originator")) copy->originator = readBool(value["originator"], "originator");
    if (value.isMember("verified")) copy->verified = readInt32(value["verified"], "verified");
    copy->decode(value);
    copy->postDecode();
    assignRecord(std::move(*copy));
    return true;
}

bool VxMetadata::restore(const std::string& text) {
    const bool result = fromJSON(text);
    LockScope lock(masterMutex);
    verified = 0;
    localDirty = false;
    return result;
}

bool VxMetadata::update(const std::string& text) {
    const bool result = fromJSON(text);
    LockScope lock(masterMutex);
    verified = 0;
    remoteDirty = false;
    localDirty = true;
    return result;
}

bool VxMetadata::update(const Json::Value& value) {
    const bool result = fromJSONValue(value);
    LockScope lock(masterMutex);
    verified = 0;
    remoteDirty = false;
    localDirty = true;
    return result;
}

Json::Value VxMetadata::toJSONValue(bool forServer) {
    Json::Value out(Json::objectValue);
    if (!forServer) {
        out["remoteDirty"] = remoteDirty;
        out["originator"] = originator;
    }
    encode(out, forServer);
    return out;
}

std::string VxMetadata::toJSON(bool forServer) { return encodeText(forServer); }

std::string VxMetadata::encodeText(bool forServer) { return jsonString(toJSONValue(forServer)); }

std::unique_ptr<VxMetadata> VxMetadata::cloneRecord() const { return std::make_unique<VxMetadata>(*this); }

void VxMetadata::assignRecord(VxMetadata&& decoded) { *this = decoded; }

std::string idStr(int64_t id) { return id >= 1 ? std::to_string(id) : std::string(); }

std::string idStr(const std::string& id) { return id; }

} // namespace VxMeta
