// The crypto entry points that may come first start the library, once.
#include "vxmeta/access/library_start.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "interop_vectors.h"
#include "vxmeta/crypto/digests.h"
#include "vxmeta/crypto/signatures.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/log.h"

using namespace VxMeta;

namespace {

std::vector<std::string> logged;
void capture(int, const std::string& text) { logged.push_back(text); }

TEST(LibraryStart, FirstCryptoCallStartsTheLibraryOnce) {
    // ctest runs each test in a process of its own, so this one sees the library unstarted.
    if (didInit.load()) GTEST_SKIP() << "the library was started by an earlier test in this process";
    logged.clear();
    logCallback.store(capture);
    EXPECT_EQ(hashText("abc"), "qZk+NkcGgWq6PiVxeFDCbJzQ2J0=");
    EXPECT_TRUE(didInit.load());
    ASSERT_EQ(logged.size(), 2u);
    EXPECT_TRUE(std::regex_match(logged[0], std::regex(R"(VxMeta Initializing - Built [A-Z][a-z]{2} [ 0-9]\d \d{4} at \d\d:\d\d:\d\d)")))
        << logged[0];
    EXPECT_EQ(logged[1], "VxMeta initialized");
    EXPECT_EQ(compatibilities, (std::set<std::string>{"", "Mandatory", "ReadOnly", "Optional", "Suggested"}));

    // Later calls, and init itself, do nothing more.
    const Json::Value& rsa = VxMetaTest::vectorSection("rsa");
    const std::string sig = signTextOther("t", VxMetaTest::bytesOf(rsa, "private"));
    EXPECT_TRUE(verifyText("t", sig, VxMetaTest::textOf(rsa, "public")));
    init();
    EXPECT_EQ(logged.size(), 2u);
    logCallback.store(nullptr);
}

void failOnce(int, const std::string& text) {
    logCallback.store(capture);
    throw std::runtime_error("log output failed at: " + text);
}

TEST(LibraryStart, AStartThatFailedRunsAgainOnTheNextCall) {
    if (didInit.load()) GTEST_SKIP() << "the library was started by an earlier test in this process";
    logged.clear();
    logCallback.store(failOnce); // the first line of the start fails
    EXPECT_THROW(hashText("abc"), std::runtime_error);
    EXPECT_FALSE(didInit.load());
    EXPECT_TRUE(compatibilities.empty());

    // The next call starts the library for real, instead of taking the failed start as done.
    EXPECT_EQ(hashText("abc"), "qZk+NkcGgWq6PiVxeFDCbJzQ2J0=");
    EXPECT_TRUE(didInit.load());
    EXPECT_EQ(logged.size(), 2u);
    EXPECT_EQ(compatibilities, (std::set<std::string>{"", "Mandatory", "ReadOnly", "Optional", "Suggested"}));
    logCallback.store(nullptr);
}

} // namespace
