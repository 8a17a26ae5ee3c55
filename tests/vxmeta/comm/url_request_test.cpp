#include "vxmeta/comm/comm_io.h"
#include "vxmeta/comm/etimer.h"
#include "vxmeta/comm/http_request.h"
#include "vxmeta/comm/http_response.h"
#include "vxmeta/comm/last_check_domain.h"
#include "vxmeta/comm/url.h"
#include "vxmeta/foundation/clock.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"

#include <gtest/gtest.h>

#include <unordered_set>

using namespace VxMeta;
using TarvexProtocol::Url;
using TarvexProtocol::UrlPtr;

namespace {

struct UrlCase {
    const char* base;
    const char* path;
    const char* baseUrl;
    const char* fullUrl;
};

TEST(Url, NewInstanceCutsTheBaseAndPlacesThePath) {
    const UrlCase cases[] = {
        {"", "", "", ""},
        {"https://h.example/mds/api/v1.0/", "", "https://h.example/mds", "https://h.example/mds"},
        {"https://h.example/mds///", "", "https://h.example/mds", "https://h.example/mds"},
        {"https://h.example/mds", "user/", "https://h.example/mds", "https://h.example/mds/api/v1.0/user/"},
        {"https://h.example/mds", "/health", "https://h.example/mds", "https://h.example/mds/health"},
        {"https://h.example/mds", "challenge?urn=a%3Ab", "https://h.example/mds",
         "https://h.example/mds/api/v1.0/challenge?urn=a%3Ab"},
        // A path segment that only begins with "api" is cut there as well.
        {"https://h.example/apiary/x", "", "https://h.example", "https://h.example"},
        // A host that begins with "api" keeps its address.
        {"https://api.example.com", "etag/0", "https://api.example.com", "https://api.example.com/api/v1.0/etag/0"},
        {"https://api.example.com:8443/api/v1.0/", "", "https://api.example.com:8443", "https://api.example.com:8443"},
        {"https://apihost", "", "https://apihost", "https://apihost"},
        // A server named without a scheme is an HTTPS one; a named scheme stays as it is.
        {"keys.example.com", "etag/0", "https://keys.example.com", "https://keys.example.com/api/v1.0/etag/0"},
        {"127.0.0.1:8443/mds/api/v1.0/", "", "https://127.0.0.1:8443/mds", "https://127.0.0.1:8443/mds"},
        {"keys.example.com/a?u=http://x", "", "https://keys.example.com/a?u=http://x",
         "https://keys.example.com/a?u=http://x"},
        {"http://keys.example.com", "", "http://keys.example.com", "http://keys.example.com"},
    };
    for (const UrlCase& c : cases) {
        SCOPED_TRACE(std::string(c.base) + " + " + c.path);
        UrlPtr url = Url::newInstance(c.base, c.path);
        EXPECT_EQ(url->baseUrl, c.baseUrl);
        EXPECT_EQ(url->apiPathAndQuery, c.path);
        EXPECT_EQ(url->fullUrl, c.fullUrl);
    }
}

TEST(Url, EqualityAndHashFollowTheFullUrl) {
    UrlPtr withApi = Url::newInstance("https://h.example/mds/api/v1.0/", "");
    UrlPtr bare = Url::newInstance("https://h.example/mds", "");
    UrlPtr other = bare->withApiPathAndQuery("user/");
    EXPECT_TRUE(*withApi == *bare);
    EXPECT_TRUE(withApi == bare);
    EXPECT_EQ(hash_value(withApi), hash_value(bare));
    EXPECT_FALSE(other == bare);
    EXPECT_EQ(other->fullUrl, "https://h.example/mds/api/v1.0/user/");

    UrlPtr none;
    EXPECT_TRUE(none == UrlPtr());
    EXPECT_FALSE(none == bare);
    EXPECT_FALSE(bare == none);

    std::unordered_set<UrlPtr, TarvexProtocol::UrlPtrHash, TarvexProtocol::UrlPtrEqual> set{withApi};
    EXPECT_EQ(set.count(bare), 1u);
    EXPECT_EQ(set.count(other), 0u);
}

TEST(HttpRequest, BuilderSemantics) {
    HttpRequest::Builder builder;
    EXPECT_EQ(builder.method, &HttpMethod::GET);
    EXPECT_TRUE(builder.body.empty());
    builder.post("{\"a\":1}").addHeader("X", "1").addHeader("X", "2").removeHeader("missing");
    EXPECT_EQ(builder.method, &HttpMethod::POST);
    EXPECT_EQ(builder.headers.at("X"), "2");
    builder.get();
    EXPECT_EQ(builder.body, "{\"a\":1}"); // get changes only the method
    builder.del();
    EXPECT_EQ(builder.method->name, "DELETE");
    EXPECT_EQ(builder.body, "{\"a\":1}");
    builder.put("b");
    EXPECT_EQ(builder.method->name, "PUT");

    try {
        builder.build();
        FAIL() << "a builder without url must not build";
    } catch (const VxMetaException& e) {
        EXPECT_EQ(e.category, VXMECAT_CLIENT);
        EXPECT_EQ(e.message, "Url must not be null");
    }
    EXPECT_THROW(builder.url(nullptr), VxMetaException);

    HttpRequestPtr request = builder.url(Url::newInstance("https://h", "x")).build();
    HttpRequest::Builder copy = request->toBuilder();
    EXPECT_EQ(copy.body, "b");
    EXPECT_EQ(copy.headers, request->headers);
    EXPECT_EQ(copy.method, &HttpMethod::PUT);
    EXPECT_TRUE(copy.target == request->url);
}

TEST(HttpResponse, HeadersAreFoundIgnoringCase) {
    HeaderMap headers{{"x-vx-mfa-tu", "1"}, {"Other", "2"}};
    ASSERT_NE(findHeader(headers, "X-VX-MFA-TU"), nullptr);
    EXPECT_EQ(*findHeader(headers, "X-VX-MFA-TU"), "1");
    EXPECT_EQ(findHeader(headers, "Missing"), nullptr);
}

TEST(CommIO, StartsEmptyAndCopiesItsBytes) {
    CommIO io;
    EXPECT_FALSE(io.implicitAuth);
    EXPECT_EQ(io.status, 0);
    EXPECT_TRUE(io.headers.empty() && io.requestData.empty() && io.responseData.empty());
    io.requestData = {1, 2, 3};
    uint8_t buffer[3] = {};
    io.getRequestData(buffer);
    EXPECT_EQ(buffer[2], 3);
    const uint8_t reply[] = {'o', 'k', 0};
    io.setResponseData(reply, sizeof reply);
    CommIO copy(io);
    EXPECT_EQ(copy.responseData.size(), 3u);
    EXPECT_EQ(copy.requestData, io.requestData);
}

TEST(ETimer, ElapsedSecondsDropPartsOfAMillisecond) {
    ETimer timer;
    timer.duration = std::chrono::microseconds(1'234'500);
    EXPECT_DOUBLE_EQ(timer.elapsedSeconds(), 1.234);
    timer.stop();
    EXPECT_TRUE(timer.stopTime.has_value());
    EXPECT_EQ(timer.duration, *timer.stopTime - *timer.startTime);
}

TEST(LastCheckDomain, KeyedByUrlForSixtySeconds) {
    auto clock = std::make_shared<ManualClock>(10'000'000);
    setClock(clock);
    lastCheckDomain.set(Url::newInstance("https://h.example/mds/api/v1.0/", "ua/checkDomain?d=x"), "reply");
    EXPECT_TRUE(lastCheckDomain.isValid(Url::newInstance("https://h.example/mds", "ua/checkDomain?d=x")));
    EXPECT_FALSE(lastCheckDomain.isValid(Url::newInstance("https://h.example/mds", "ua/checkDomain?d=y")));
    EXPECT_FALSE(lastCheckDomain.isValid(nullptr));
    clock->advanceSeconds(59);
    EXPECT_TRUE(lastCheckDomain.isValid(Url::newInstance("https://h.example/mds", "ua/checkDomain?d=x")));
    clock->advanceSeconds(1);
    EXPECT_FALSE(lastCheckDomain.isValid(Url::newInstance("https://h.example/mds", "ua/checkDomain?d=x")));
    lastCheckDomain.clear();
    setClock(nullptr);
}

} // namespace
