// The list work of the records: reading a service list of asset keys, and pruning the dataset after
// a key is deleted (its rights and key revisions leave their lists). Both must grow linearly with
// the number of records.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/log.h"
#include "vxmeta/records/asset.h"
#include "vxmeta/records/asset_key.h"
#include "vxmeta/records/asset_right.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/record_deletion.h"
#include "vxmeta/records/record_query.h"

namespace {

using namespace VxMeta;

void ReadAssetKeyList(benchmark::State& state) {
    setLogLevel(0);
    Json::Value reply(Json::arrayValue);
    for (int64_t i = 0; i < state.range(0); ++i) {
        Json::Value key;
        key["id"] = static_cast<Json::Int64>(i + 1);
        key["homeServer"] = "h";
        key["signature"] = "V2-" + std::string(340, 'S');
        key["record"]["asset"] = "@adhoc-" + std::to_string(i % 97) + "-urn";
        key["record"]["owner"] = "urn:vx:user/owner";
        key["record"]["participant"] = "urn:vx:user/participant";
        key["record"]["keysequence"] = static_cast<int>(i % 7 + 1);
        key["record"]["keymaterial"] = "V2-" + std::string(340, 'K');
        key["record"]["revision"] = 1;
        reply.append(key);
    }
    for (auto _ : state) benchmark::DoNotOptimize(listFromJSONValue<AssetKey>(reply));
    state.SetComplexityN(state.range(0));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(ReadAssetKeyList)->RangeMultiplier(4)->Range(64, 16384)->Complexity(benchmark::oN);

// A dataset of n keys, each with two rights and three key revisions; the first key is deleted.
void PruneAfterDeletingAKey(benchmark::State& state) {
    setLogLevel(0);
    const int64_t n = state.range(0);
    for (auto _ : state) {
        state.PauseTiming();
        mdClear(myAssets);
        mdClear(myRights);
        mdClear(myKeys);
        mdClear(myRequests);
        mdClear(myFeatures);
        for (int64_t id = 1; id <= n; ++id) {
            auto asset = std::make_shared<Asset>();
            asset->id = id;
            asset->remoteDirty = false;
            myAssets->push_back(asset);
            for (int i = 0; i < 2; ++i) {
                auto right = std::make_shared<AssetRight>();
                right->assetid = id;
                right->remoteDirty = false;
                myRights->push_back(right);
            }
            for (int i = 0; i < 3; ++i) {
                auto key = std::make_shared<AssetKey>();
                key->assetid = id;
                key->remoteDirty = false;
                myKeys->push_back(key);
            }
        }
        Asset deleted;
        deleted.id = 1;
        state.ResumeTiming();
        dropDeletedRecord(deleted);
    }
    state.SetComplexityN(n);
}
BENCHMARK(PruneAfterDeletingAKey)->RangeMultiplier(4)->Range(64, 16384)->Complexity(benchmark::oN);

} // namespace
