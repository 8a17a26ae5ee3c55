// An in-process stand-in for the host's transport, for the unit tests that send requests (the
// pipeline, the records, the access checks): it records every exchange and answers through a handler
// the test sets.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "vxmeta/comm/comm_io.h"

namespace VxMeta::testing {

struct FakeReply {
    FakeReply() = default;
    FakeReply(int32_t code, std::string text, std::string transportError = std::string(),
              std::map<std::string, std::string> replyHeaders = {})
        : status(code), body(std::move(text)), error(std::move(transportError)), headers(std::move(replyHeaders)) {}

    int32_t status = 200;
    std::string body = "{}";
    std::string error;
    std::map<std::string, std::string> headers; // reply headers added to the record's map
};

class FakeTransport {
public:
    using Handler = std::function<FakeReply(const CommIO& request)>;

    // Installs the fake in the transport hook; every exchange is answered by `handler`.
    static void install(Handler handler);
    // Answers every exchange with `reply`.
    static void answerAll(FakeReply reply);
    static void uninstall();

    // The records of the exchanges so far, as the transport received them.
    static std::vector<CommIO>& exchanges();
    static std::string requestText(const CommIO& io);
};

// A fixture that gives every test a fresh cluster state, a fake transport answering 200 "{}", no MFA
// time stamp, a zero network-problem count and quiet logging.
class PipelineTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};

// Captures the log lines written while it lives (level and text).
class LogCapture {
public:
    LogCapture(int level = 5);
    ~LogCapture();
    const std::vector<std::pair<int, std::string>>& lines() const;
    bool contains(const std::string& text) const;

private:
    int previousLevel;
};

} // namespace VxMeta::testing
