// Packing n activity-log lines (a context opened every 1,000 lines, steps of about 400 bytes) into
// audit-log chunks of at most 250,000 bytes and 500 events, in both event modes, beside JsonCpp alone
// parsing the same lines and writing them back compactly (the least any packer does). Time per line
// should stay flat from 10k to 100k lines. Each case packs its lines once before it is timed: the small
// case runs many timed passes and the large one a single pass, and without a first pass the large one
// alone would pay for taking its memory from the system (page faults of a fresh heap, about as much
// again as the packing). Run from the release preset: ./build/release/bench/audit_bench
#include <benchmark/benchmark.h>

#include <json/reader.h>
#include <json/writer.h>

#include <memory>
#include <string>
#include <vector>

#include "vxmeta/access/state_seam.h"
#include "vxmeta/api/raw_vorlane.h"
#include "vxmeta/comm/access_seam.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/log.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/persists.h"

using namespace VxMeta;

namespace {

std::vector<std::string> makeLines(int64_t n) {
    std::vector<std::string> lines;
    lines.reserve(static_cast<size_t>(n));
    for (int64_t i = 0; i < n; ++i) {
        Json::Value line;
        if (i % 1000 == 0) {
            line["category"] = "begin archive";
            line["archive"] = "archive-" + std::to_string(i / 1000) + ".zip";
            line["operator"] = "batch job";
        } else {
            line["category"] = "step";
            line["action"] = i % 3 == 0 ? "Add" : "Update";
            line["archive"] = "archive-" + std::to_string(i / 1000) + ".zip";
            line["item"] = "folder/sub folder/document-" + std::to_string(i) + ".pdf";
            line["timestamp"] = "2026-03-01T10:00:00." + std::to_string(i % 1000) + "Z";
            line["status"]["level"] = "info";
            line["status"]["code"] = 0;
            line["status"]["description"] = "done";
            line["size"] = Json::Int64(1000 + i);
            if (i % 2 == 0) line["encryption"]["method"] = "AES-256";
        }
        lines.push_back(jsonString(line));
    }
    return lines;
}

void prepare(int target) {
    setLogLevel(0);
    mdClearAll(false);
    setServicePublicKey("V2-another-service-key");
    setLoggedInPrivateKey("private key of the bench");
    LockScope lock(masterMutex);
    myPersists->auditLogEnabled = true;
    myPersists->auditLogTarget = target;
    myPersists->auditLogArchiveNonEncrypted = true;
    myPersists->auditLogArchiveCopy = true;
    appName = "Reader";
}

void packChunks(benchmark::State& state, int target) {
    const std::vector<std::string> lines = makeLines(state.range(0));
    static RawVorlane api; // starts the library
    prepare(target);
    size_t chunks = 0;
    {
        std::vector<Json::Value> warm;
        api.processAuditLogEntries(lines, warm, 250000, 500);
    }
    for (auto _ : state) {
        std::vector<Json::Value> out;
        if (!api.processAuditLogEntries(lines, out, 250000, 500)) state.SkipWithError("auditing is off");
        chunks = out.size();
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["chunks"] = static_cast<double>(chunks);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_PackFactored(benchmark::State& state) { packChunks(state, 0); }
void BM_PackExpanded(benchmark::State& state) { packChunks(state, 1); }

// JsonCpp alone: every line parsed and written back into one compact array.
void BM_JsonCppParseAndWrite(benchmark::State& state) {
    const std::vector<std::string> lines = makeLines(state.range(0));
    Json::CharReaderBuilder readers;
    const std::unique_ptr<Json::CharReader> reader(readers.newCharReader());
    Json::StreamWriterBuilder writers;
    writers["indentation"] = "";
    const auto pass = [&] {
        Json::Value all(Json::arrayValue);
        for (const std::string& line : lines) {
            Json::Value value;
            std::string errors;
            reader->parse(line.data(), line.data() + line.size(), &value, &errors);
            all.append(std::move(value));
        }
        return Json::writeString(writers, all);
    };
    (void)pass();
    for (auto _ : state) {
        std::string text = pass();
        benchmark::DoNotOptimize(text.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

} // namespace

BENCHMARK(BM_PackFactored)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PackExpanded)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JsonCppParseAndWrite)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
