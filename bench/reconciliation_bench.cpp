// The full reconciliation pass (StateProcessor::runMaster) over a signed-in user's dataset of 10,000
// and of 100,000 keys, each with the user's own revision, a right for another participant and that
// participant's revision; every tenth key carries a feature and every fiftieth a request. Nothing is
// missing, so the pass only derives and checks (no RSA work): its time should grow linearly. Beside it,
// the reference: indexing the same lists once by URN, the least work any pass over them does.
//   cmake --preset release && cmake --build --preset release --target reconciliation_bench
//   build/release/bench/reconciliation_bench
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "vxmeta/comm/access_seam.h"
#include "vxmeta/crypto/key_wrapping.h"
#include "vxmeta/crypto/library_started.h"
#include "vxmeta/crypto/rsa_keys.h"
#include "vxmeta/foundation/clock.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/log.h"
#include "vxmeta/records/asset.h"
#include "vxmeta/records/asset_feature.h"
#include "vxmeta/records/asset_key.h"
#include "vxmeta/records/asset_request.h"
#include "vxmeta/records/asset_right.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/pid.h"
#include "vxmeta/records/user.h"
#include "vxmeta/records/xpid.h"
#include "vxmeta/sync/list_maps.h"
#include "vxmeta/sync/meta_state.h"
#include "vxmeta/sync/state_processor.h"

namespace {

using namespace VxMeta;

const std::string kMe = "urn:vx:user/bench";
constexpr int kParticipants = 200;

std::string participant(int i) { return "urn:vx:user/p" + std::to_string(i % kParticipants); }

std::shared_ptr<AssetKey> keyFor(const std::string& asset, const std::string& who, int64_t id) {
    auto key = std::make_shared<AssetKey>();
    key->asset = asset;
    key->owner = kMe;
    key->participant = who;
    key->keysequence = 1;
    key->keymaterial = "V2-wrapped";
    key->ckeymaterial = "V3-1-wrapped";
    key->id = id;
    key->ownerid = 1;
    key->participantid = who == kMe ? 1 : 2;
    key->remoteDirty = false;
    return key;
}

// A signed-in user with a personal key and `count` shared keys.
void makeDataset(int count) {
    static std::string publicKey;
    static std::string privateKey;
    if (publicKey.empty()) generateRSAKeys(publicKey, privateKey);
    init();
    setLogLevel(0);
    mdClearAll(false);
    LockScope lock(masterMutex);
    lastOnlineTime = nowSeconds();
    myPID->urn = kMe;
    myPID->id = 1;
    myPID->email = "bench@example.test";
    myPID->pubkey = publicKey;
    globalState.myPrikey = privateKey;
    for (int i = 0; i < kParticipants; ++i) {
        auto identity = std::make_shared<XPID>();
        identity->urn = participant(i);
        identity->id = 1000 + i;
        identity->pubkey = publicKey;
        myXPIDs->push_back(identity);
    }
    auto personal = std::make_shared<Asset>();
    personal->urn = "priv-bench";
    personal->owner = kMe;
    personal->object_kind = "priv";
    myAssets->push_back(personal);
    myKeys->push_back(keyFor(personal->urn, kMe, 1));
    // List by list, as the synchronization's refreshes fill them.
    int64_t id = 10;
    for (int i = 0; i < count; ++i) {
        auto asset = std::make_shared<Asset>();
        asset->urn = "file-" + std::to_string(i);
        asset->owner = kMe;
        asset->object_kind = "file";
        asset->ownerid = 1;
        asset->remoteDirty = false;
        myAssets->push_back(asset);
    }
    for (int i = 0; i < count; ++i) {
        auto right = std::make_shared<AssetRight>();
        right->asset = "file-" + std::to_string(i);
        right->owner = kMe;
        right->participant = participant(i);
        right->access = "allow";
        right->participantid = 1000 + i % kParticipants;
        right->id = ++id;
        right->remoteDirty = false;
        myRights->push_back(right);
    }
    for (int i = 0; i < count; ++i) {
        const std::string asset = "file-" + std::to_string(i);
        myKeys->push_back(keyFor(asset, kMe, ++id));
        myKeys->push_back(keyFor(asset, participant(i), ++id));
    }
    for (int i = 0; i < count; i += 10) {
        auto feature = std::make_shared<AssetFeature>();
        feature->asset = "file-" + std::to_string(i);
        feature->name = "Watermark";
        feature->compatibility = "Optional";
        myFeatures->push_back(feature);
    }
    for (int i = 0; i < count; i += 50) {
        auto request = std::make_shared<AssetRequest>();
        request->asset = "file-" + std::to_string(i);
        request->participant = "urn:vx:user/asking";
        myRequests->push_back(request);
    }
}

void BM_RunMaster(benchmark::State& state) {
    makeDataset(static_cast<int>(state.range(0)));
    // The first pass makes the forwarding datum; the measured ones find everything in place.
    StateProcessor(myAssets, myRights, myKeys, myFeatures).runMaster();
    for (auto _ : state) {
        StateProcessor pass(myAssets, myRights, myKeys, myFeatures);
        pass.runMaster();
        benchmark::DoNotOptimize(pass.isChanged());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_RunMaster)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_IndexListsReference(benchmark::State& state) {
    makeDataset(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        URNMap<Asset> assets(myAssets, false);
        URNMap<AssetRight> rights(myRights, false);
        URNMap<AssetKey> keys(myKeys, false);
        benchmark::DoNotOptimize(keys.size() + rights.size() + assets.size());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_IndexListsReference)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime();

// Seconds per iteration by benchmark family name and dataset size.
std::map<std::string, std::map<int64_t, double>> seconds;

class NoteReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
                const std::string name = run.run_name.function_name;
                const int64_t size = std::stoll(run.run_name.args);
                seconds[name][size] = run.GetAdjustedRealTime() / 1000.0;
            }
        ConsoleReporter::ReportRuns(runs);
    }
};

} // namespace

int main(int argc, char** argv) {
    // A pass allocates and frees its indexes every time. glibc's default heap trimming hands that
    // memory back to the system after each pass and faults it in again for the next one; a
    // long-running client settles into a kept heap, and so does the benchmark.
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    mallopt(M_TOP_PAD, 256 << 20);
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    benchmark::Initialize(&argc, argv);
    NoteReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    for (const auto& [name, times] : seconds)
        if (times.count(10000) && times.count(100000))
            std::printf("%s: %.3f s with 10k keys, %.3f s with 100k; ratio %.2f (at most 11)\n", name.c_str(),
                        times.at(10000), times.at(100000), times.at(100000) / times.at(10000));
    return 0;
}
