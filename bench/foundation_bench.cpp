// Throughput of the text helpers on the hot paths (record texts, stored values, signatures).
#include <benchmark/benchmark.h>

#include <string>

#include "vxmeta/foundation/base64.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/text.h"

namespace {

std::string bytesOf(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(i * 131 + 7);
    return s;
}

void Base64Encode(benchmark::State& state) {
    const std::string data = bytesOf(static_cast<size_t>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(VxMeta::base64_encode(data));
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(Base64Encode)->Range(1 << 10, 1 << 20);

void Base64Decode(benchmark::State& state) {
    const std::string text = VxMeta::base64_encode(bytesOf(static_cast<size_t>(state.range(0))));
    for (auto _ : state) benchmark::DoNotOptimize(VxMeta::base64_decode(text));
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(Base64Decode)->Range(1 << 10, 1 << 20);

void JsonStringOfRecords(benchmark::State& state) {
    Json::Value list(Json::arrayValue);
    for (int64_t i = 0; i < state.range(0); ++i) {
        Json::Value r;
        r["urn"] = "urn:asset:" + std::to_string(i);
        r["revision"] = static_cast<Json::Int64>(i);
        r["name"] = "name " + std::to_string(i);
        list.append(r);
    }
    for (auto _ : state) benchmark::DoNotOptimize(VxMeta::jsonString(list));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(JsonStringOfRecords)->Range(64, 1 << 14)->Complexity(benchmark::oN);

void Urlencode(benchmark::State& state) {
    const std::string data = bytesOf(static_cast<size_t>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(VxMeta::urlencode(data));
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(Urlencode)->Range(1 << 10, 1 << 16);

} // namespace
