#include "support/fake_transport.h"

#include <mutex>

#include "vxmeta/comm/access_seam.h"
#include "vxmeta/comm/mfa_header.h"
#include "vxmeta/comm/mfa_retry_model.h"
#include "vxmeta/crypto/library_started.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/log.h"

namespace VxMeta::testing {

namespace {
std::mutex fakeMutex;
FakeTransport::Handler currentHandler;
std::vector<CommIO> seen;
std::vector<std::pair<int, std::string>> captured;

void transport(CommIO& io) {
    FakeTransport::Handler handler;
    {
        std::lock_guard<std::mutex> guard(fakeMutex);
        seen.push_back(io);
        handler = currentHandler;
    }
    FakeReply reply = handler ? handler(io) : FakeReply{};
    io.status = reply.status;
    io.setResponseData(reinterpret_cast<const uint8_t*>(reply.body.data()), reply.body.size());
    io.errorMessage = reply.error;
    for (const auto& [name, value] : reply.headers) io.headers[name] = value;
}

void capture(int level, const std::string& text) { captured.emplace_back(level, text); }
} // namespace

void FakeTransport::install(Handler handler) {
    {
        std::lock_guard<std::mutex> guard(fakeMutex);
        currentHandler = std::move(handler);
        seen.clear();
    }
    netAppCallback = &transport;
}

void FakeTransport::answerAll(FakeReply reply) {
    install([reply](const CommIO&) { return reply; });
}

void FakeTransport::uninstall() {
    netAppCallback = nullptr;
    std::lock_guard<std::mutex> guard(fakeMutex);
    currentHandler = nullptr;
}

std::vector<CommIO>& FakeTransport::exchanges() { return seen; }

std::string FakeTransport::requestText(const CommIO& io) { return std::string(io.requestData.begin(), io.requestData.end()); }

void PipelineTest::SetUp() {
    // Started first: the start empties the dataset, which a later first start would do mid-test.
    init();
    mdClearAll(false);
    FakeTransport::answerAll(FakeReply{});
    setMfaTimestamp(Json::Value());
    mfaRetryModelFactory = nullptr;
    netErrorCounter = 0;
    setLogLevel(0);
}

void PipelineTest::TearDown() {
    FakeTransport::uninstall();
    mfaRetryModelFactory = nullptr;
    setLogLevel(4);
}

LogCapture::LogCapture(int level) : previousLevel(vmLogLevel.load()) {
    captured.clear();
    logCallback = &capture;
    setLogLevel(level);
}

LogCapture::~LogCapture() {
    logCallback = nullptr;
    setLogLevel(previousLevel);
}

const std::vector<std::pair<int, std::string>>& LogCapture::lines() const { return captured; }

bool LogCapture::contains(const std::string& text) const {
    for (const auto& line : captured) {
        if (line.second == text) return true;
    }
    return false;
}

} // namespace VxMeta::testing
