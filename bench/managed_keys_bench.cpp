// The decryption key material of an archive whose key the dataset already holds
// (SingleAssetManager::getDecryptionKeyMaterial on a fresh manager, as the public API calls it), in a
// signed-in user's dataset of 10,000 and of 100,000 keys, each with the user's revision, a right and
// a feature. The key asked for is the last one of every list, so each scan of the lists runs to its
// end; time per call may grow at most linearly. Beside it, the reference: unwrapping that revision
// alone, the part of the call no dataset size changes.
//   cmake --preset release && cmake --build --preset release --target managed_keys_bench
//   build/release/bench/managed_keys_bench
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "vxmeta/accounts/single_asset_manager.h"
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
#include "vxmeta/records/asset_right.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/pid.h"
#include "vxmeta/sync/meta_state.h"

namespace {

using namespace VxMeta;

const std::string kMe = "vx-user/bench";

std::string assetUrn(int i) { return "file-" + std::to_string(i); }

// A signed-in user with `count` keys; the last one's revision is really wrapped for the user.
std::string makeDataset(int count) {
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
    myPID->pubkey = publicKey;
    globalState.myPrikey = privateKey;
    int64_t id = 10;
    for (int i = 0; i < count; ++i) {
        auto asset = std::make_shared<Asset>();
        asset->urn = assetUrn(i);
        asset->owner = "vx-user/other";
        asset->object_kind = "file";
        asset->remoteDirty = false;
        myAssets->push_back(asset);
    }
    for (int i = 0; i < count; ++i) {
        auto right = std::make_shared<AssetRight>();
        right->asset = assetUrn(i);
        right->participant = kMe;
        right->access = "allow";
        right->id = ++id;
        right->remoteDirty = false;
        myRights->push_back(right);
    }
    for (int i = 0; i < count; ++i) {
        auto key = std::make_shared<AssetKey>();
        key->asset = assetUrn(i);
        key->participant = kMe;
        key->participantid = 1;
        key->keysequence = 1;
        key->keymaterial = "V2-wrapped";
        key->allowed = true;
        key->id = ++id;
        key->remoteDirty = false;
        myKeys->push_back(key);
    }
    for (int i = 0; i < count; ++i) {
        auto feature = std::make_shared<AssetFeature>();
        feature->asset = assetUrn(i);
        feature->name = "Watermark";
        feature->id = ++id;
        feature->remoteDirty = false;
        myFeatures->push_back(feature);
    }
    const std::string session = generateSessionKey();
    myKeys->back()->keymaterial = encryptSessionKey(session, publicKey);
    return session;
}

void BM_DecryptionKeyMaterialOfAHeldKey(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    const std::string session = makeDataset(count);
    const std::string reference = assetUrn(count - 1) + ":1";
    for (auto _ : state) {
        SingleAssetManager manager;
        const std::string material = manager.getDecryptionKeyMaterial(reference, false);
        if (material != session) state.SkipWithError("wrong key material");
        benchmark::DoNotOptimize(material.data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DecryptionKeyMaterialOfAHeldKey)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_UnwrapRevisionReference(benchmark::State& state) {
    const std::string session = makeDataset(static_cast<int>(state.range(0)));
    std::shared_ptr<AssetKey> key;
    {
        LockScope lock(masterMutex);
        key = myKeys->back();
    }
    for (auto _ : state) {
        const std::string material = key->decryptKeyMaterial();
        if (material != session) state.SkipWithError("wrong key material");
        benchmark::DoNotOptimize(material.data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_UnwrapRevisionReference)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond)->UseRealTime();

// Seconds per iteration by benchmark family name and dataset size.
std::map<std::string, std::map<int64_t, double>> seconds;

class NoteReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
                const std::string name = run.run_name.function_name;
                const int64_t size = std::stoll(run.run_name.args);
                seconds[name][size] = run.GetAdjustedRealTime() / 1e6;
            }
        ConsoleReporter::ReportRuns(runs);
    }
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    NoteReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    for (const auto& [name, times] : seconds)
        if (times.count(10000) && times.count(100000))
            std::printf("%s: %.1f us with 10k keys, %.1f us with 100k; ratio %.2f (at most 11)\n", name.c_str(),
                        times.at(10000) * 1e6, times.at(100000) * 1e6, times.at(100000) / times.at(10000));
    const auto ours = seconds.find("BM_DecryptionKeyMaterialOfAHeldKey");
    const auto reference = seconds.find("BM_UnwrapRevisionReference");
    if (ours != seconds.end() && reference != seconds.end())
        for (const int64_t size : {10000, 100000})
            if (ours->second.count(size) && reference->second.count(size))
                std::printf("with %lld keys the call takes %.2f times the unwrapping alone\n",
                            static_cast<long long>(size), ours->second.at(size) / reference->second.at(size));
    return 0;
}
