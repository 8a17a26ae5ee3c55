#include "vxmeta/api/audit_log.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "vxmeta/access/access_checks.h"
#include "vxmeta/accounts/account_state.h"
#include "vxmeta/accounts/single_asset_manager.h"
#include "vxmeta/api/audit_event_normalization.h"
#include "vxmeta/api/raw_vorlane.h"
#include "vxmeta/comm/high_availability.h"
#include "vxmeta/comm/vcsr.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/json_access.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/log.h"
#include "vxmeta/foundation/text.h"
#include "vxmeta/records/asset.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/device.h"
#include "vxmeta/records/identity_lookup.h"
#include "vxmeta/records/persists.h"
#include "vxmeta/records/pid.h"
#include "vxmeta/records/team_data.h"
#include "vxmeta/records/xpid.h"

namespace VxMeta {

namespace {

// The audit settings of the state record, read once per call.
struct AuditSettings {
    bool enabled = false;
    int mode = 0;
    bool archiveNonEncrypted = false;
    bool archiveCopy = false;
};

AuditSettings readSettings() {
    AuditSettings settings;
    LockScope master(masterMutex);
    if (!myPersists) return settings;
    settings.enabled = myPersists->auditLogEnabled;
    settings.mode = myPersists->auditLogTarget;
    settings.archiveNonEncrypted = myPersists->auditLogArchiveNonEncrypted;
    settings.archiveCopy = myPersists->auditLogArchiveCopy;
    return settings;
}

bool isEmptyLine(const std::string& line) { return line.empty() || line[0] == '\0'; }

bool emptyValue(const Json::Value& value) { return value.isNull() || ((value.isObject() || value.isArray()) && value.empty()); }

// Absent or null: what the expanded mode fills in from the context.
bool lacks(const Json::Value& object, const std::string& name) {
    const Json::Value* member = object.find(name.data(), name.data() + name.size());
    return member == nullptr || member->isNull();
}

bool sentForEveryStep(const std::string& name) {
    return std::any_of(JSON_KEYS_TO_SEND_FOR_EVERY_STEP.begin(), JSON_KEYS_TO_SEND_FOR_EVERY_STEP.end(),
                       [&](const char* kept) { return name == kept; });
}

// The text member, added as null when absent (the event then carries the null member).
std::string readText(Json::Value& step, const char* name) {
    if (!step.isMember(name)) step[name] = Json::Value();
    return jsonText(step, name);
}

// The key facts of the managed key that an encrypted step's archive key metadata names, set into the
// step's "kms" as "orvanel", and the key's id as the step's "assetId" when the key has a URN. The key
// comes from the local dataset only: no request for it and no access request; a key the dataset
// lacks fails and nothing is set. Its owner's directory entry is looked up without the master lock
// and is left out when it cannot be found.
void addKeyFacts(const std::string& metadata, Json::Value& kms, Json::Value& step) {
    SingleAssetManager manager;
    manager.partialFetch(metadata, true, false);
    std::shared_ptr<Asset> key;
    {
        LockScope master(masterMutex);
        key = manager.asset;
    }
    const bool canModerate = manager.canEditParticipants();
    Json::Value facts(Json::objectValue);
    std::string ownerUrn;
    bool hasUrn = false;
    int64_t id = 0;
    {
        LockScope master(masterMutex);
        facts["created_at"] = key->created_at;
        facts["kind"] = key->object_kind;
        facts["name"] = key->urn.empty() ? std::string("Policy Key") : key->name;
        facts["urn"] = key->urn;
        facts["canDelete"] = key->canDelete;
        ownerUrn = key->owner;
        hasUrn = !key->urn.empty();
        id = key->id;
    }
    facts["canModerate"] = canModerate;
    if (!ownerUrn.empty()) {
        std::shared_ptr<XPID> owner;
        try {
            owner = userLookupUrn(ownerUrn);
        } catch (const VxMetaException&) {
            // An owner the directory and the service do not know is not found: the facts go without it.
        }
        if (owner) {
            LockScope master(masterMutex);
            facts["owner"]["email"] = owner->email;
            facts["owner"]["name"] = owner->name;
        }
    }
    Json::Value orvanel(Json::arrayValue);
    orvanel.append(std::move(facts));
    kms["orvanel"] = std::move(orvanel);
    if (hasUrn) step["assetId"] = Json::Int64(id);
}

// One call's processing: the context, the chunk under construction and the chunks closed.
class ChunkBuilder {
public:
    ChunkBuilder(const AuditSettings& settings, uint64_t maxBytes, uint32_t maxEntries, std::vector<Json::Value>& out)
        : settings_(settings),
          maxBytes_(maxBytes),
          maxEntries_(std::max<uint32_t>(maxEntries, 1)),
          batchSize_(std::max<uint32_t>(maxEntries / 5, 1)),
          out_(out) {
        LockScope master(masterMutex);
        deviceText_ = "device " + (myDevice ? std::to_string(myDevice->id) : std::string("0")) + ":" +
                      (myDevice ? myDevice->name : std::string());
        userText_ = "user " + (myPID ? myPID->name : std::string()) + "(" + (myPID ? myPID->email : std::string()) + ")";
    }

    void run(const std::vector<std::string>& lines) {
        for (size_t i = 0; i < lines.size(); ++i) {
            if (header_.isNull()) fillHeader();
            bool addedStep = false;
            if (!isEmptyLine(lines[i])) {
                Json::Value line = parseJson(lines[i]);
                if (line.isObject() && !line.empty()) {
                    try {
                        addedStep = takeLine(std::move(line));
                    } catch (const VxMetaException& e) {
                        // A line whose members have unexpected types is no event.
                        VXLOG(5, "Skipped audit log line - %s", e.message.c_str());
                    }
                }
            }
            const bool lastLine = i + 1 == lines.size();
            if ((addedStep && steps_.size() % batchSize_ == 0) || lastLine || closeRequested_) measure();
            if (closeRequested_) {
                closeRequested_ = false;
                if (!steps_.empty()) closeChunk();
            }
            if (steps_.empty()) startChunk();
        }
        if (!steps_.empty()) finish();
    }

private:
    void fillHeader() {
        LockScope master(masterMutex);
        header_ = Json::Value(Json::objectValue);
        header_["protocol"] = 7;
        header_["app"] = appName;
        header_["deviceid"] = Json::Int64(myDevice ? myDevice->id : 0);
        header_["deviceName"] = myDevice ? myDevice->name : "";
        header_["devicePlatform"] = myDevice ? myDevice->platform_type : "";
        header_["userName"] = myPID ? myPID->name : "";
        header_["userEmail"] = myPID ? myPID->email : "";
    }

    // Takes one parsed line; true when it added a step event to the chunk.
    bool takeLine(Json::Value line) {
        const std::string category = jsonText(line, "category");
        if (category == "step") {
            Json::Value event;
            if (!buildEvent(std::move(line), event)) return false;
            addStep(std::move(event));
            return true;
        }
        if (startswith(category, "end")) {
            if (settings_.mode == 0) flushChunk();
            if (!saved_.empty()) saved_.pop_back();
            context_ = saved_.empty() ? Json::Value(Json::objectValue) : saved_.back();
            contextNames_ = context_.getMemberNames();
            closeRequested_ = true;
            return false;
        }
        Json::Value next = context_;
        bool save = false;
        if (startswith(category, "begin")) {
            if (next.empty() && settings_.mode != 0) {
                for (const char* name : {"app", "deviceid", "deviceName", "devicePlatform", "userName", "userEmail"})
                    next[name] = header_[name];
            } else if (!next.empty()) {
                save = true;
            }
        }
        for (const std::string& name : line.getMemberNames()) next[name] = line[name];
        if (settings_.mode == 0 && changesFactors(context_, next)) flushChunk();
        if (save) saved_.push_back(context_);
        context_ = std::move(next);
        contextNames_ = context_.getMemberNames();
        return false;
    }

    // Whether a step factored against `next` would read otherwise than against `now` (the category
    // plays no part: a step's own category is never equal to the context's).
    static bool changesFactors(Json::Value now, Json::Value next) {
        now.removeMember("category");
        next.removeMember("category");
        return now != next;
    }

    // Factored mode: the steps of the chunk were factored against the context of its first entry, so
    // before the context changes they all go out under it (a batch that does not fit the chunk in
    // chunks of its own), and the next step starts a chunk with the new context.
    void flushChunk() {
        if (steps_.empty()) return;
        finish();
        steps_.clear();
        lengths_.clear();
        measured_ = 0;
    }

    // Builds the event of a step; false when the archive filter drops it.
    bool buildEvent(Json::Value step, Json::Value& event) {
        const std::string archive = readText(step, "archive");
        if (!step.isMember("status")) step["status"] = Json::Value();
        int severity = 3;
        std::string description;
        {
            const Json::Value& status = jsonObject(step, "status");
            if (!emptyValue(status)) {
                const std::string level = canocase(jsonText(status, "level"));
                if (level == "info") severity = 3;
                else if (level == "warning") severity = 2;
                else if (jsonInt(status, "code") != 0) severity = 1;
                description = jsonText(status, "description");
            }
        }
        std::string action = readText(step, "action");
        const std::string item = readText(step, "item");
        const bool encrypted = step.isMember("encryption") && !emptyValue(jsonObject(step, "encryption"));

        const Json::Value& policy = jsonObject(step, "policy");
        if (!emptyValue(policy)) {
            const int64_t id = jsonInt(policy, "id");
            if (id > 0) {
                LockScope master(masterMutex);
                if (myTeamDatas) {
                    for (const auto& data : *myTeamDatas) {
                        if (!data || data->id != id) continue;
                        step["policy"]["name"] = data->name;
                        step["policy"]["updated_at"] = data->updated_at;
                        break;
                    }
                }
            }
        }

        for (const std::string& name : contextNames_) {
            if (sentForEveryStep(name)) continue;
            if (settings_.mode == 0) {
                const Json::Value* own = step.find(name.data(), name.data() + name.size());
                if (own != nullptr && *own == context_[name]) step.removeMember(name);
            } else if (lacks(step, name)) {
                step[name] = context_[name];
            }
        }

        std::string subject = "Unknown action";
        std::string eventText = "Tarvex Step";
        std::string tags = "Archive";
        if (!action.empty()) tags += "," + action;

        if (!encrypted) {
            step.removeMember("contingency_keys");
        } else {
            Json::Value& facts = step["encryption"];
            if (!facts.isMember("kms")) facts["kms"] = Json::Value();
            Json::Value& kms = facts["kms"];
            if (!kms.isNull() && !kms.isObject())
                throw VxMetaException(VXMECAT_PROTOCOL, "Member 'kms' of the step's encryption is not an object");
            if (!emptyValue(kms)) {
                if (!kms.isMember("data")) kms["data"] = Json::Value();
                const std::string data = jsonText(kms, "data");
                if (!data.empty()) {
                    try {
                        addKeyFacts(data, kms, step);
                    } catch (const VxMetaException& e) {
                        VXLOG(5, "Failed to get asset information for step - %s", e.message.c_str());
                    }
                }
            }
            tags += ",Encrypted";
            if (action != "Copy" && action != "Delete") {
                if (action == "Add" || action == "Update" || action == "Encrypt") action = "Encrypt";
                else if (action == "ReEncrypt") action = "Re-Encrypt";
                else action = "Decrypt";
            }
        }

        const std::vector<std::string> tagList = splitParts(tags, ",");
        const auto tagged = [&](const char* tag) { return std::find(tagList.begin(), tagList.end(), tag) != tagList.end(); };
        if (tagged("Archive")) {
            if (!settings_.archiveNonEncrypted && !tagged("Encrypted")) return false;
            if (!settings_.archiveCopy && tagged("Copy")) return false;
        }

        step["tags"] = tags;
        if (!action.empty()) {
            eventText = "Tarvex " + action;
            subject = action;
        }
        if (!item.empty()) subject += " " + item;
        if (!archive.empty()) subject += " Archive=" + archive;
        if (severity != 3 && !description.empty()) subject += " - " + description;
        step["text"] = subject + " - " + deviceText_ + " - " + userText_;
        step["event"] = eventText;
        normalizeDSIEntry(step, settings_.mode);
        event = std::move(step);
        return true;
    }

    // The length of the compact rendering (with its line end) of the chunk with its first `count`
    // step events. Compact JSON is additive: the document with empty "entries", plus each entry,
    // plus one comma between entries. Each event's length is taken once, when it joins the chunk.
    size_t renderedLength(size_t count) const {
        Json::Value document = header_;
        document["entries"] = Json::Value(Json::arrayValue);
        size_t length = jsonStringLength(document) + 1;
        size_t elements = count;
        if (contextEntry_) {
            length += jsonStringLength(*contextEntry_);
            ++elements;
        }
        for (size_t i = 0; i < count; ++i) length += lengths_[i];
        if (elements > 1) length += elements - 1;
        return length;
    }

    void addStep(Json::Value event) {
        lengths_.push_back(jsonStringLength(event));
        steps_.push_back(std::move(event));
    }

    void measure() {
        const size_t length = renderedLength(steps_.size());
        if (length > maxBytes_ || steps_.size() > maxEntries_) {
            if (measured_ == 0) split();
            else closeRequested_ = true;
            return;
        }
        measured_ = steps_.size();
        if (length == maxBytes_ || steps_.size() == maxEntries_) closeRequested_ = true;
    }

    // The chunk document of the first `count` step events, which are moved into it.
    Json::Value takeDocument(size_t count) {
        Json::Value document = header_;
        Json::Value entries(Json::arrayValue);
        if (contextEntry_) entries.append(*contextEntry_);
        for (size_t i = 0; i < count; ++i) entries.append(std::move(steps_[i]));
        document["entries"] = std::move(entries);
        return document;
    }

    // Appends the measured part of the chunk; the rest (the batch that did not fit) waits for the next.
    void closeChunk() {
        if (measured_ > 0) out_.push_back(takeDocument(measured_));
        const auto rest = static_cast<std::ptrdiff_t>(measured_);
        carried_.assign(std::make_move_iterator(steps_.begin() + rest), std::make_move_iterator(steps_.end()));
        carriedLengths_.assign(lengths_.begin() + rest, lengths_.end());
        header_ = Json::Value();
        steps_.clear();
        lengths_.clear();
        measured_ = 0;
    }

    // A chunk without step events takes the context as it is now and the batch carried over.
    void startChunk() {
        contextEntry_.reset();
        if (!context_.empty()) {
            context_["category"] = "factors";
            contextNames_ = context_.getMemberNames();
            if (settings_.mode == 0) contextEntry_ = context_;
        }
        steps_ = std::move(carried_);
        lengths_ = std::move(carriedLengths_);
        carried_.clear();
        carriedLengths_.clear();
        measured_ = 0;
    }

    // The last chunk: as it is when it fits, else split.
    void finish() {
        if (header_.isNull()) fillHeader();
        if (renderedLength(steps_.size()) <= maxBytes_ && steps_.size() <= maxEntries_) {
            out_.push_back(takeDocument(steps_.size()));
            return;
        }
        measured_ = 0;
        split();
        if (!steps_.empty()) out_.push_back(takeDocument(steps_.size()));
    }

    // The chunk's events do not fit even without the newest batch: they are packed into as many
    // chunks as they need, in order, and what remains stays as the chunk under construction. An event
    // that does not fit a chunk on its own is dropped.
    void split() {
        const size_t base = renderedLength(0);
        std::vector<Json::Value> pending = std::move(steps_);
        std::vector<size_t> pendingLengths = std::move(lengths_);
        steps_.clear();
        lengths_.clear();
        size_t length = base;
        for (size_t i = 0; i < pending.size(); ++i) {
            const size_t eventLength = pendingLengths[i];
            const size_t separator = (steps_.empty() && !contextEntry_) ? 0 : 1;
            if (length + separator + eventLength <= maxBytes_ && steps_.size() < maxEntries_) {
                length += separator + eventLength;
                steps_.push_back(std::move(pending[i]));
                lengths_.push_back(eventLength);
                continue;
            }
            if (!steps_.empty()) {
                out_.push_back(takeDocument(steps_.size()));
                steps_.clear();
                lengths_.clear();
                length = base;
            }
            const size_t alone = base + (contextEntry_ ? 1 : 0) + eventLength;
            if (alone > maxBytes_) {
                VXLOG(5, "Audit event dropped - larger than the chunk limit of %llu bytes",
                      static_cast<unsigned long long>(maxBytes_));
                continue;
            }
            length = alone;
            steps_.push_back(std::move(pending[i]));
            lengths_.push_back(eventLength);
        }
        measured_ = steps_.size();
    }

    const AuditSettings settings_;
    const uint64_t maxBytes_;
    const uint32_t maxEntries_;
    const uint32_t batchSize_;
    std::vector<Json::Value>& out_;
    std::string deviceText_;
    std::string userText_;

    Json::Value context_{Json::objectValue};
    std::vector<std::string> contextNames_;
    std::vector<Json::Value> saved_;

    Json::Value header_;                     // null until filled for the chunk
    std::optional<Json::Value> contextEntry_; // the chunk's first entry (factored mode)
    std::vector<Json::Value> steps_;          // the chunk's step events; the batch is those after measured_
    std::vector<size_t> lengths_;             // their compact lengths
    size_t measured_ = 0;                     // step events of the last rendering that fitted
    std::vector<Json::Value> carried_;        // the batch a closed chunk passes to the next
    std::vector<size_t> carriedLengths_;
    bool closeRequested_ = false;
};

} // namespace

bool RawVorlane::processAuditLogEntries(const std::vector<std::string>& lines, std::vector<Json::Value>& chunks,
                                        size_t maxBytes, uint32_t maxEntries) {
    const AuditSettings settings = readSettings();
    if (!loggedIn() || !isSatellite() || !settings.enabled) return false;
    try {
        ChunkBuilder builder(settings, maxBytes, maxEntries, chunks);
        builder.run(lines);
    } catch (const VxMetaException& e) {
        VXLOG(5, "Data failed to process - %s", e.message.c_str());
        return false;
    }
    return true;
}

bool RawVorlane::sendAuditLogChunks(const std::vector<Json::Value>& chunks) { return sendAuditLogChunks(chunks, false); }

bool RawVorlane::sendAuditLogChunks(const std::vector<Json::Value>& chunks, bool eachChunkFailsOver) {
    VCSR executor;
    for (const Json::Value& chunk : chunks) {
        const std::string body = jsonString(chunk) + "\n";
        std::optional<VxMetaException> failure;
        const auto post = [&] {
            try {
                (void)executor.post("AuditLog", body);
            } catch (const VxMetaException& e) {
                failure = e;
            }
        };
        // A chunk the service accepted is never posted again: a failover repeats only the post that
        // failed over, and one that runs out of servers is thrown to the caller.
        if (eachChunkFailsOver) HighAvailability(post);
        else post();
        if (failure) {
            VXLOG(5, "Data failed to send - %s", failure->message.c_str());
            return false;
        }
    }
    return true;
}

bool RawVorlane::sendAuditLogEntries(const std::vector<std::string>& lines, size_t maxBytes, uint32_t maxEntries) {
    return sendAuditLogEntries(lines, maxBytes, maxEntries, false);
}

bool RawVorlane::sendAuditLogEntries(const std::vector<std::string>& lines, size_t maxBytes, uint32_t maxEntries,
                                     bool eachChunkFailsOver) {
    AuditLogChunks chunks;
    try {
        if (!processAuditLogEntries(lines, chunks, maxBytes, maxEntries)) {
            VXLOG(5, "Data failed to process");
            return false;
        }
    } catch (const VxMetaException& e) {
        VXLOG(5, "Data failed to process and send - %s", e.message.c_str());
        return false;
    }
    if (chunks.empty()) return true;
    return sendAuditLogChunks(chunks, eachChunkFailsOver);
}

} // namespace VxMeta
