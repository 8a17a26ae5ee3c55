// Requests per second through the whole request pipeline (executor, reply rules, the framework's
// libcurl transport) beside plain libcurl doing the same exchange over one kept connection, against one
// loopback HTTPS server. The ratio of the two is the pipeline's overhead.
//
// The program starts the test key service itself (tests/keyservice/keyservice.py, one instance, in a
// temporary folder) and stops it at the end; with VX_KEYSERVICE_DIR set it uses the service running
// there instead. Run from an optimised build:
//   cmake --preset release && cmake --build --preset release && build/release/bench/comm_bench
// The counter "connections" is the number of connections the service saw during a benchmark's last
// run (from its request log): 1 where the connection is kept. PipelineBesidePlainLibcurl gives the
// ratio from exchanges interleaved in one loop; repeat it on a busy machine:
//   build/release/bench/comm_bench --benchmark_filter=Beside --benchmark_repetitions=5
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <unordered_map>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include <curl/curl.h>

#include "Vorlane/Comm/communicate_with_mds.h"
#include "vxmeta/comm/cluster_evaluator.h"
#include "vxmeta/comm/comm_io.h"
#include "vxmeta/comm/high_availability.h"
#include "vxmeta/comm/vcsr.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/log.h"

namespace {

struct Endpoint {
    std::string server; // https://127.0.0.1:P
    std::string admin;  // http://127.0.0.1:PA
    std::string caFile;
    std::string folder;
    bool startedHere = false;
};

Endpoint endpoint;

const std::filesystem::path kScript =
    std::filesystem::path(__FILE__).parent_path().parent_path() / "tests" / "keyservice" / "keyservice.py";

bool startService() {
    const char* given = std::getenv("VX_KEYSERVICE_DIR");
    if (given) {
        endpoint.folder = given;
    } else {
        endpoint.folder = (std::filesystem::temp_directory_path() / "comm_bench_keyservice").string();
        std::string command = "/usr/bin/python3 " + kScript.string() + " start --servers 1 --dir " + endpoint.folder + " >/dev/null";
        if (std::system(command.c_str()) != 0) return false;
        endpoint.startedHere = true;
    }
    std::ifstream file(endpoint.folder + "/service.json");
    std::stringstream text;
    text << file.rdbuf();
    Json::Value description = VxMeta::parseJson(text.str());
    if (!description.isObject() || description["servers"].empty()) return false;
    endpoint.server = description["servers"][0].asString();
    endpoint.admin = description["admin"].asString();
    endpoint.caFile = description["ca_file"].asString();
    return true;
}

void stopService() {
    if (!endpoint.startedHere) return;
    std::string command = "/usr/bin/python3 " + kScript.string() + " stop --dir " + endpoint.folder + " >/dev/null";
    if (std::system(command.c_str()) != 0) std::fprintf(stderr, "stopping the key service failed\n");
}

size_t discard(char*, size_t size, size_t count, void* user) {
    static_cast<std::string*>(user)->append(size * count, '\0');
    return size * count;
}

size_t collect(char* data, size_t size, size_t count, void* user) {
    static_cast<std::string*>(user)->append(data, size * count);
    return size * count;
}

// An admin call of the service (plain HTTP on loopback); the reply text.
std::string admin(const std::string& method, const std::string& path) {
    std::unique_ptr<CURL, void (*)(CURL*)> easy(curl_easy_init(), curl_easy_cleanup);
    std::string reply;
    std::string url = endpoint.admin + path;
    curl_easy_setopt(easy.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy.get(), CURLOPT_CUSTOMREQUEST, method.c_str());
    if (method == "POST") curl_easy_setopt(easy.get(), CURLOPT_POSTFIELDS, "{}");
    curl_easy_setopt(easy.get(), CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(easy.get(), CURLOPT_WRITEDATA, &reply);
    curl_easy_perform(easy.get());
    return reply;
}

// Empties the service's request log; connectionsSeen then counts the connections of what followed.
void forgetRequests() { admin("POST", "/reset"); }

double connectionsSeen() {
    std::set<int64_t> connections;
    for (const Json::Value& entry : VxMeta::parseJson(admin("GET", "/log"))) {
        connections.insert(entry["connection"].asInt64());
    }
    return static_cast<double>(connections.size());
}

// The header lines the pipeline sends beside libcurl's own (Host, Accept), as the service logged them
// for one pipeline exchange: the plain reference sends the same request.
std::unique_ptr<curl_slist, void (*)(curl_slist*)> pipelineHeaders(nullptr, curl_slist_free_all);

bool learnPipelineHeaders() {
    forgetRequests();
    VxMeta::VCSR executor;
    executor.setPrefix(TarvexProtocol::Url::newInstance(endpoint.server, ""));
    executor.get("ua/siteData");
    Json::Value log = VxMeta::parseJson(admin("GET", "/log"));
    if (!log.isArray() || log.size() != 1) return false;
    const Json::Value& headers = log[0]["headers"];
    for (const std::string& name : headers.getMemberNames()) {
        if (name == "Host" || name == "Accept") continue;
        std::string line = name + ": " + headers[name].asString();
        curl_slist* grown = curl_slist_append(pipelineHeaders.get(), line.c_str());
        if (!grown) return false;
        (void)pipelineHeaders.release();
        pipelineHeaders.reset(grown);
    }
    return pipelineHeaders != nullptr;
}

// One exchange with libcurl alone: the pipeline's request, the same time-outs and verification.
bool plainExchange(CURL* easy, const std::string& url, std::string& body) {
    body.clear();
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, pipelineHeaders.get());
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, 10'000L);
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, 10'000L);
    curl_easy_setopt(easy, CURLOPT_CAINFO, endpoint.caFile.c_str());
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, discard);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
    long status = 0;
    return curl_easy_perform(easy) == CURLE_OK && curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK &&
           status == 200;
}

// The reference: plain libcurl with one easy handle for every exchange (its connection kept, argument
// 1), or a new handle, and so a new connection, for each (argument 0).
void PlainLibcurl(benchmark::State& state) {
    const bool keep = state.range(0) != 0;
    const std::string url = endpoint.server + "/api/v1.0/ua/siteData";
    std::unique_ptr<CURL, void (*)(CURL*)> kept(curl_easy_init(), curl_easy_cleanup);
    std::string body;
    forgetRequests();
    for (auto _ : state) {
        std::unique_ptr<CURL, void (*)(CURL*)> own(keep ? nullptr : curl_easy_init(), curl_easy_cleanup);
        if (!plainExchange(keep ? kept.get() : own.get(), url, body)) {
            state.SkipWithError("plain exchange failed");
            return;
        }
        benchmark::DoNotOptimize(body);
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["connections"] = connectionsSeen();
}
BENCHMARK(PlainLibcurl)->ArgName("kept")->Arg(1)->Arg(0)->UseRealTime();

// The framework's transport alone, on a transport record.
void Transport(benchmark::State& state) {
    const std::string url = endpoint.server + "/api/v1.0/ua/siteData";
    forgetRequests();
    for (auto _ : state) {
        VxMeta::CommIO io;
        io.method = "GET";
        io.url = url;
        VorlaneBridge::communicateWithMDS(io);
        if (io.status != 200) {
            state.SkipWithError("transport exchange failed");
            return;
        }
        benchmark::DoNotOptimize(io.responseData);
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["connections"] = connectionsSeen();
}
BENCHMARK(Transport)->UseRealTime();

// The whole pipeline to a fixed server; the argument is the log level (4, the default, writes two
// lines per request, here into a hook that drops them; 0 writes none).
void Pipeline(benchmark::State& state) {
    VxMeta::setLogLevel(static_cast<int>(state.range(0)));
    auto server = TarvexProtocol::Url::newInstance(endpoint.server, "");
    forgetRequests();
    for (auto _ : state) {
        VxMeta::VCSR executor;
        executor.setPrefix(server);
        benchmark::DoNotOptimize(executor.get("ua/siteData"));
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["connections"] = connectionsSeen();
    VxMeta::setLogLevel(0);
}
BENCHMARK(Pipeline)->Arg(0)->Arg(4)->UseRealTime();

// The pipeline as the public operations run it: cluster selection and the failover wrapper.
void PipelineWithFailover(benchmark::State& state) {
    VxMeta::getMyClusterEvaluator()->setClusterInfo(TarvexProtocol::Url::newInstance(endpoint.server, ""));
    forgetRequests();
    for (auto _ : state) {
        benchmark::DoNotOptimize(VxMeta::HighAvailability([] {
            VxMeta::VCSR executor;
            return executor.get("ua/siteData");
        }));
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["connections"] = connectionsSeen();
}
BENCHMARK(PipelineWithFailover)->UseRealTime();

double threadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// The pipeline (log level 0) and plain libcurl over its kept connection, one exchange each per
// iteration in alternating order, so that both see the same load on a shared machine and each of the
// service's two connection threads serves every other request. Counters: the requests per second of
// each, and "ratio", the pipeline's time over plain libcurl's. With the argument transport_only=1 the
// transport alone takes the pipeline's place, sending the same request ("transport_per_second", and
// the transport's time over plain libcurl's as "ratio"): what of the pipeline's ratio is the transport's.
// "median_ratio" is the ratio of the two median exchange times: on a busy machine it is spared the
// scheduling delays of a few exchanges that weigh on the totals. "plain_cpu_us" and "ours_cpu_us" are
// the client's processor time per exchange (the service's is the same for the same request).
void PipelineBesidePlainLibcurl(benchmark::State& state) {
    const bool transportOnly = state.range(0) != 0;
    using Clock = std::chrono::steady_clock;
    const std::string url = endpoint.server + "/api/v1.0/ua/siteData";
    auto server = TarvexProtocol::Url::newInstance(endpoint.server, "");
    std::unique_ptr<CURL, void (*)(CURL*)> kept(curl_easy_init(), curl_easy_cleanup);
    std::string body;
    Clock::duration plainTime{};
    Clock::duration pipelineTime{};
    std::vector<Clock::duration> plainTimes;
    std::vector<Clock::duration> pipelineTimes;
    double plainCpu = 0;
    double pipelineCpu = 0;
    std::unordered_map<std::string, std::string> headersOfPipeline;
    for (const curl_slist* line = pipelineHeaders.get(); line; line = line->next) {
        std::string text(line->data);
        std::size_t colon = text.find(": ");
        headersOfPipeline[text.substr(0, colon)] = text.substr(colon + 2);
    }
    auto plain = [&] {
        double cpuStart = threadCpuSeconds();
        Clock::time_point start = Clock::now();
        bool ok = plainExchange(kept.get(), url, body);
        plainTimes.push_back(Clock::now() - start);
        plainCpu += threadCpuSeconds() - cpuStart;
        plainTime += plainTimes.back();
        return ok;
    };
    auto pipeline = [&] {
        double cpuStart = threadCpuSeconds();
        Clock::time_point start = Clock::now();
        bool ok = false;
        if (transportOnly) {
            VxMeta::CommIO io;
            io.method = "GET";
            io.url = url;
            io.headers = headersOfPipeline;
            VorlaneBridge::communicateWithMDS(io);
            ok = io.status == 200;
        } else {
            VxMeta::VCSR executor;
            executor.setPrefix(server);
            ok = !executor.get("ua/siteData").empty();
        }
        pipelineTimes.push_back(Clock::now() - start);
        pipelineCpu += threadCpuSeconds() - cpuStart;
        pipelineTime += pipelineTimes.back();
        return ok;
    };
    forgetRequests();
    bool pipelineFirst = false;
    for (auto _ : state) {
        pipelineFirst = !pipelineFirst;
        if (!(pipelineFirst ? pipeline() && plain() : plain() && pipeline())) {
            state.SkipWithError("exchange failed");
            return;
        }
    }
    auto seconds = [](Clock::duration d) { return std::chrono::duration<double>(d).count(); };
    auto perSecond = [&](Clock::duration d) { return static_cast<double>(state.iterations()) / seconds(d); };
    state.counters["plain_per_second"] = perSecond(plainTime);
    state.counters[transportOnly ? "transport_per_second" : "pipeline_per_second"] = perSecond(pipelineTime);
    state.counters["ratio"] = seconds(pipelineTime) / seconds(plainTime);
    auto median = [](std::vector<Clock::duration>& times) {
        std::nth_element(times.begin(), times.begin() + static_cast<std::ptrdiff_t>(times.size() / 2), times.end());
        return times[times.size() / 2];
    };
    state.counters["median_ratio"] = seconds(median(pipelineTimes)) / seconds(median(plainTimes));
    state.counters["plain_cpu_us"] = plainCpu * 1e6 / static_cast<double>(state.iterations());
    state.counters["ours_cpu_us"] = pipelineCpu * 1e6 / static_cast<double>(state.iterations());
    state.counters["connections"] = connectionsSeen();
}
BENCHMARK(PipelineBesidePlainLibcurl)->ArgName("transport_only")->Arg(0)->Arg(1)->UseRealTime()->MinTime(2.0);

// A plain-HTTP loopback server that answers every connection with one fixed reply.
class FixedReplyServer {
public:
    explicit FixedReplyServer(std::string reply) : text(std::move(reply)) {
        listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(listener, 16) != 0 ||
            getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            return;
        }
        port = ntohs(address.sin_port);
        worker = std::thread([this] {
            for (;;) {
                int connection = accept(listener, nullptr, nullptr);
                if (connection < 0) return;
                char request[4096];
                (void)recv(connection, request, sizeof request, 0);
                (void)send(connection, text.data(), text.size(), MSG_NOSIGNAL);
                close(connection);
            }
        });
    }
    ~FixedReplyServer() {
        shutdown(listener, SHUT_RDWR);
        if (worker.joinable()) worker.join();
        close(listener);
    }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port) + "/api/v1.0/x"; }

private:
    std::string text;
    int listener = -1;
    uint16_t port = 0;
    std::thread worker;
};

// The transport on replies with many distinct headers (the argument): the cost of copying them back
// into the record grows with their number, not with its square.
void ReplyHeaders(benchmark::State& state) {
    std::string reply = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n";
    for (int64_t i = 0; i < state.range(0); ++i) reply.append("H").append(std::to_string(i)).append(": v\r\n");
    reply += "\r\n{}";
    FixedReplyServer server(reply);
    for (auto _ : state) {
        VxMeta::CommIO io;
        io.method = "GET";
        io.url = server.url();
        VorlaneBridge::communicateWithMDS(io);
        if (io.status != 200) {
            state.SkipWithError("exchange failed");
            return;
        }
        benchmark::DoNotOptimize(io.headers);
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(ReplyHeaders)->RangeMultiplier(4)->Range(256, 16384)->UseRealTime()->Complexity();

void dropLine(int, const std::string&) {}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (!startService()) {
        std::fprintf(stderr, "the test key service could not be started (%s)\n", kScript.c_str());
        return 1;
    }
    curl_global_init(CURL_GLOBAL_DEFAULT);
    VorlaneBridge::setTransportCaFile(endpoint.caFile);
    VxMeta::netAppCallback = &VorlaneBridge::communicateWithMDS;
    VxMeta::logCallback = &dropLine;
    VxMeta::setLogLevel(0);
    if (!learnPipelineHeaders()) {
        std::fprintf(stderr, "the pipeline's request headers could not be learned from the service\n");
        stopService();
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    stopService();
    curl_global_cleanup();
    return 0;
}
