// A full synchronization cycle (every list fetched whole, merged into the held records and pruned,
// then the deployments, the reconciliation pass and the signature checks) over an in-process
// transport that serves canned replies, with N records in each of the fourteen refreshed lists. The
// dataset already holds the same records, checked, as after an earlier cycle; the cost measured is
// reading the replies, merging and pruning. Time must grow linearly: the closing note gives the times
// for 10k and 100k records per list and their ratio (at most 11).
//   cmake --preset release && cmake --build --preset release && build/release/bench/sync_bench
#include <benchmark/benchmark.h>

#include <cstdio>
#include <malloc.h>
#include <functional>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "vxmeta/access/library_reset.h"
#include "vxmeta/comm/access_seam.h"
#include "vxmeta/comm/comm_io.h"
#include "vxmeta/crypto/library_started.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/log.h"
#include "vxmeta/records/app.h"
#include "vxmeta/records/app_data.h"
#include "vxmeta/records/asset.h"
#include "vxmeta/records/asset_feature.h"
#include "vxmeta/records/asset_key.h"
#include "vxmeta/records/asset_request.h"
#include "vxmeta/records/asset_right.h"
#include "vxmeta/records/contingency_group.h"
#include "vxmeta/records/contingency_key.h"
#include "vxmeta/records/contingency_master_key.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/mfa_pair.h"
#include "vxmeta/records/persists.h"
#include "vxmeta/records/pid.h"
#include "vxmeta/records/record_query.h"
#include "vxmeta/records/team_data.h"
#include "vxmeta/records/upload.h"
#include "vxmeta/records/user.h"
#include "vxmeta/records/xpid.h"
#include "vxmeta/sync/meta_state.h"
#include "vxmeta/sync/sync_cycle.h"

using namespace VxMeta;

namespace {

// The canned replies by API path ("xpid", "app?deviceid=0", ...).
std::unordered_map<std::string, std::string> replies;

void cannedTransport(CommIO& io) {
    const size_t at = io.url.find("/api/v1.0/");
    const std::string path = at == std::string::npos ? io.url : io.url.substr(at + 10);
    auto found = replies.find(path);
    const std::string body = found != replies.end() ? found->second : std::string("{\"Message\":\"none\"}");
    io.status = found != replies.end() ? 200 : 404;
    io.setResponseData(reinterpret_cast<const uint8_t*>(body.data()), body.size());
}

// A signed record's server form: the "record" object, a signature and the outer members.
Json::Value signedForm(int64_t id, Json::Value record, Json::Value outer = Json::Value(Json::objectValue)) {
    record["revision"] = 1;
    outer["record"] = std::move(record);
    outer["signature"] = "V2-bench";
    outer["id"] = Json::Int64(id);
    return outer;
}

// One list of n records of a class: its path and the form of record i.
struct ListSpec {
    std::string path;
    std::function<Json::Value(int64_t)> form;
};

std::vector<ListSpec> listSpecs() {
    auto text = [](const char* prefix, int64_t i) { return std::string(prefix) + std::to_string(i); };
    return {
        {"app?deviceid=0", [&](int64_t i) {
             Json::Value r;
             r["name"] = text("app-", i);
             r["owner"] = "urn:me";
             Json::Value o;
             o["deviceid"] = 0;
             return signedForm(i, r, o);
         }},
        {"xpid", [&](int64_t i) {
             Json::Value r;
             r["urn"] = text("urn:user/", i);
             r["email"] = text("u", i) + "@example.test";
             return signedForm(i, r);
         }},
        {"asset", [&](int64_t i) {
             Json::Value r;
             r["urn"] = text("urn:asset/", i);
             r["owner"] = "urn:me";
             r["object_kind"] = "file";
             Json::Value o;
             o["ownerid"] = 1;
             return signedForm(i, r, o);
         }},
        {"assetright", [&](int64_t i) {
             Json::Value r;
             r["asset"] = text("urn:asset/", i);
             r["participant"] = "urn:me";
             r["access"] = "allow";
             Json::Value o;
             o["assetid"] = Json::Int64(i);
             return signedForm(i, r, o);
         }},
        {"assetkey", [&](int64_t i) {
             Json::Value r;
             r["asset"] = text("urn:asset/", i);
             r["participant"] = "urn:me";
             r["keysequence"] = 1;
             r["keymaterial"] = "V2-key";
             Json::Value o;
             o["assetid"] = Json::Int64(i);
             return signedForm(i, r, o);
         }},
        {"assetrequest", [&](int64_t i) {
             Json::Value r;
             r["asset"] = text("urn:asset/", i);
             r["participant"] = text("urn:user/", i);
             return signedForm(i, r);
         }},
        {"assetfeature", [&](int64_t i) {
             Json::Value r;
             r["asset"] = text("urn:asset/", i);
             r["name"] = "feature";
             return signedForm(i, r);
         }},
        {"contingencygroup", [&](int64_t i) {
             Json::Value r;
             r["urn"] = text("urn:group/", i);
             Json::Value o;
             o["caid"] = "urn:ca";
             return signedForm(i, r, o);
         }},
        {"contingencykey", [&](int64_t i) {
             Json::Value r;
             r["owner"] = text("urn:user/", i);
             r["keysequence"] = 1;
             r["ca"] = "urn:ca";
             return signedForm(i, r);
         }},
        {"contingencymasterkey", [&](int64_t i) {
             Json::Value r;
             r["recipient"] = text("urn:user/", i);
             r["ca"] = "urn:ca";
             return signedForm(i, r);
         }},
        {"appdata?deviceid=0", [&](int64_t i) {
             Json::Value r;
             r["kind"] = "note";
             r["name"] = text("d", i);
             r["owner"] = "urn:me";
             Json::Value o;
             o["deviceid"] = 0;
             return signedForm(i, r, o);
         }},
        {"teamdata", [&](int64_t i) {
             Json::Value f;
             f["kind"] = "Note";
             f["name"] = text("t", i);
             f["value"] = "v";
             f["id"] = Json::Int64(i);
             return f;
         }},
        {"upload", [&](int64_t i) {
             Json::Value f;
             f["kind"] = "file";
             f["id"] = Json::Int64(i);
             return f;
         }},
        {"mfapair", [&](int64_t i) {
             Json::Value f;
             f["kind"] = "TOTP";
             f["name"] = text("p", i);
             f["enabled"] = true;
             f["id"] = Json::Int64(i);
             return f;
         }},
    };
}

// The dataset holds the records of a reply, checked, stored and sent, as after an earlier cycle.
template <class T>
void hold(RecordListPtr<T>& global, const std::string& path) {
    const RecordListPtr<T> records = listFromJSONValue<T>(parseJson(replies.at(path)));
    for (const auto& record : *records) {
        record->verified = 1;
        record->localDirty = false;
    }
    LockScope lock(masterMutex);
    *global = std::move(*records);
}

void prepare(int64_t perList) {
    init();
    setLogLevel(0);
    netAppCallback = &cannedTransport;
    mdClearAll(false);
    replies.clear();
    for (const ListSpec& spec : listSpecs()) {
        std::string body = "[";
        for (int64_t i = 1; i <= perList; ++i) {
            if (i > 1) body += ",";
            body += jsonString(spec.form(i));
        }
        replies[spec.path] = body + "]";
    }
    replies["etag/0"] = "{}";
    replies["clusterInfo"] = "{}";
    replies["etag/1/"] = "{\"etag\":5,\"gtag\":1,\"ltag\":0,\"ctag\":\"\",\"id\":1}";
    replies["user/1/"] = "{\"id\":1,\"owner\":\"urn:me\",\"record\":{\"revision\":1}}";
    replies["pid/1/"] = "{\"id\":1,\"record\":{\"urn\":\"urn:me\",\"revision\":1}}";
    {
        LockScope lock(masterMutex);
        globalState.myPrikey = "held";
        myPID->id = 1;
        myPID->urn = "urn:me";
        myPersists->siteData = "{}";
        myPersists->gtag = 1;
    }
    hold(myApps, "app?deviceid=0");
    hold(myXPIDs, "xpid");
    hold(myAssets, "asset");
    hold(myRights, "assetright");
    hold(myKeys, "assetkey");
    hold(myRequests, "assetrequest");
    hold(myFeatures, "assetfeature");
    hold(myContingencyGroups, "contingencygroup");
    hold(myContingencyKeys, "contingencykey");
    hold(myContingencyMasterKeys, "contingencymasterkey");
    hold(myAppDatas, "appdata?deviceid=0");
    hold(myTeamDatas, "teamdata");
    hold(myUploads, "upload");
    hold(myMFAPairs, "mfapair");
}

std::map<int64_t, double> secondsPerCycle;

void BM_FullCycle(benchmark::State& state) {
    const int64_t perList = state.range(0);
    prepare(perList);
    for (auto _ : state) sync(true);
    if (getMyAssets()->size() != static_cast<size_t>(perList) || getMyMFAPairs()->size() != static_cast<size_t>(perList))
        state.SkipWithError("the cycle did not keep the dataset");
    for (const VxMetaException& problem : syncProblems) std::fprintf(stderr, "problem: %s\n", problem.message.c_str());
    state.counters["records"] = static_cast<double>(perList * 14);
    mdClearAll(false);
    replies.clear();
}

BENCHMARK(BM_FullCycle)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

class NoteReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && !run.error_occurred)
                secondsPerCycle[run.per_family_instance_index == 0 ? 10000 : 100000] =
                    run.GetAdjustedRealTime() / 1000.0;
        ConsoleReporter::ReportRuns(runs);
    }
};

} // namespace

int main(int argc, char** argv) {
    // A 100k-record reply is tens of megabytes, read into a JSON tree and records and freed again each
    // cycle. glibc's default heap trimming hands that memory back to the system after every list and
    // faults it in again for the next one (the cost then grows with the heap, not with the work); a
    // long-running client settles into a kept heap, and so does the benchmark.
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    mallopt(M_TOP_PAD, 256 << 20);
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    benchmark::Initialize(&argc, argv);
    NoteReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    if (secondsPerCycle.count(10000) && secondsPerCycle.count(100000)) {
        const double small = secondsPerCycle[10000];
        const double large = secondsPerCycle[100000];
        std::printf("full cycle: %.3f s with 10k records per list, %.3f s with 100k; ratio %.2f (at most 11)\n", small,
                    large, large / small);
    }
    return 0;
}
