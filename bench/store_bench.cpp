// The persisted store's save and checked restore of n records (a quarter each of keys, key
// revisions, rights and features, with their signatures), beside JsonCpp writing and parsing the same
// values alone (JsonCpp's compact writer and reader as a program would call them). The restore is timed without its
// closing reconciliation pass. Run from the release preset: ./build/release/bench/store_bench
#include <benchmark/benchmark.h>

#include <json/reader.h>
#include <json/writer.h>

#include <memory>
#include <string>
#include <vector>

#include "vxmeta/comm/access_seam.h"
#include "vxmeta/crypto/library_started.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/asset.h"
#include "vxmeta/records/asset_feature.h"
#include "vxmeta/records/asset_key.h"
#include "vxmeta/records/asset_right.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/sync/meta_state.h"
#include "vxmeta/sync/persisted_store.h"
#include "vxmeta/sync/store_restore_steps.h"

using namespace VxMeta;

namespace {

const std::string signature = "V2-" + std::string(340, 'Q') + "==";

// A record read from a stored form with a "record" member, so that it carries its record text.
template <class T>
std::shared_ptr<T> stored(Json::Value record, Json::Value outer) {
    outer["record"] = std::move(record);
    outer["signature"] = signature;
    outer["remoteDirty"] = false;
    outer["originator"] = false;
    auto made = std::make_shared<T>();
    made->restore(jsonString(outer));
    return made;
}

void fill(int64_t n) {
    init();
    mdClearAll(false);
    LockScope lock(masterMutex);
    for (int64_t i = 0; i < n / 4; ++i) {
        const std::string id = std::to_string(i);
        const std::string urn = "urn:vx:asset/" + id;
        Json::Value asset;
        asset["urn"] = urn;
        asset["owner"] = "urn:vx:user/own";
        asset["name"] = "Key " + id;
        asset["object_kind"] = "";
        asset["object_cookie"] = "cookie-" + id;
        asset["revision"] = 1;
        Json::Value assetOuter;
        assetOuter["id"] = Json::Int64(i + 1);
        assetOuter["homeServer"] = "https://keys.example.com";
        assetOuter["compatibility"] = "Optional";
        myAssets->push_back(stored<Asset>(asset, assetOuter));

        Json::Value key;
        key["asset"] = urn;
        key["owner"] = "urn:vx:user/own";
        key["participant"] = "urn:vx:user/p" + id;
        key["keysequence"] = 1;
        key["keymaterial"] = "V2-" + std::string(340, 'K') + "==";
        key["ca"] = "urn:vx:team/1";
        key["revision"] = 1;
        Json::Value keyOuter;
        keyOuter["id"] = Json::Int64(i + 1);
        keyOuter["assetid"] = Json::Int64(i + 1);
        keyOuter["allowed"] = true;
        myKeys->push_back(stored<AssetKey>(key, keyOuter));

        Json::Value right;
        right["asset"] = urn;
        right["owner"] = "urn:vx:user/own";
        right["participant"] = "urn:vx:user/p" + id;
        right["access"] = "allow";
        right["revision"] = 1;
        Json::Value rightOuter;
        rightOuter["id"] = Json::Int64(i + 1);
        myRights->push_back(stored<AssetRight>(right, rightOuter));

        Json::Value feature;
        feature["asset"] = urn;
        feature["owner"] = "urn:vx:user/own";
        feature["name"] = "watermark";
        feature["scope"] = "all";
        feature["compatibility"] = "Optional";
        feature["value"] = "on";
        feature["revision"] = 1;
        Json::Value featureOuter;
        featureOuter["id"] = Json::Int64(i + 1);
        myFeatures->push_back(stored<AssetFeature>(feature, featureOuter));
    }
}

// A save after an earlier save or a restore: the manifest and the saved names hold the names already.
void StoreSave(benchmark::State& state) {
    fill(state.range(0));
    serializeAll(false);
    for (auto _ : state) benchmark::DoNotOptimize(serializeAll(false));
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(StoreSave)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);

// The first save of a process that restored nothing: every name and entry is new.
void StoreSaveFirst(benchmark::State& state) {
    fill(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        {
            LockScope lock(masterMutex);
            globalState.manifest = Manifest();
        }
        state.ResumeTiming();
        benchmark::DoNotOptimize(serializeAll(false));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(StoreSaveFirst)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);

// JsonCpp's compact writer, set as the library sets it.
Json::StreamWriterBuilder compactBuilder() {
    Json::StreamWriterBuilder b;
    b["indentation"] = "";
    b["precision"] = 17;
    return b;
}

// The values of one save, parsed: what a bare writer writes.
void JsonWriteAlone(benchmark::State& state) {
    fill(state.range(0));
    const SerialListPtr saved = serializeAll(false);
    std::vector<Json::Value> values;
    for (const auto& pair : *saved) values.push_back(parseJson(pair->value));
    const Json::StreamWriterBuilder builder = compactBuilder();
    for (auto _ : state) {
        for (const Json::Value& value : values) benchmark::DoNotOptimize(Json::writeString(builder, value));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(JsonWriteAlone)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);

void StoreRestoreChecked(benchmark::State& state) {
    fill(state.range(0));
    const SerialListPtr saved = serializeAll(false);
    for (auto _ : state) {
        // Into an empty library, as at start: dropping the dataset of the last round is not timed.
        state.PauseTiming();
        mdClearAll(false);
        state.ResumeTiming();
        LockScope syncLock(syncMutex);
        LockScope masterLock(masterMutex);
        restoreCheckedPairs(*saved);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(StoreRestoreChecked)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);

void JsonParseAlone(benchmark::State& state) {
    fill(state.range(0));
    const SerialListPtr saved = serializeAll(false);
    const Json::CharReaderBuilder builder;
    for (auto _ : state) {
        for (const auto& pair : *saved) {
            Json::Value value;
            const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
            benchmark::DoNotOptimize(
                reader->parse(pair->value.data(), pair->value.data() + pair->value.size(), &value, nullptr));
        }
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(JsonParseAlone)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);

} // namespace
