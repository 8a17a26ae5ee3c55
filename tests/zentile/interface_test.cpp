// The engine's public values: decisions, the delegate bundle and the error values callers branch on.
#include <gtest/gtest.h>

#include "Zentile/zentile.h"

namespace Zentile {
namespace {

TEST(ZentileInterface, DecryptResultKeepsThePasswordOnlyWithDecisionZero) {
    EXPECT_EQ(ZIPDecryptResult(ZIPDecryptDecision::UsePassword, "pw").password(), "pw");
    for (auto decision : {ZIPDecryptDecision::SkipFile, ZIPDecryptDecision::SkipAll, ZIPDecryptDecision::Cancel}) {
        ZIPDecryptResult result(decision, "pw");
        EXPECT_EQ(result.decision(), decision);
        EXPECT_FALSE(result.password().has_value());
    }
    EXPECT_EQ(static_cast<std::uint32_t>(ZIPDecryptDecision::Cancel), 3u);
}

TEST(ZentileInterface, ErrorsCarryTheDomainCodeAndDescription) {
    auto error = makeZIPError(ZIPErrorCancelled, "stopped");
    EXPECT_EQ(error.domain, "VxArchiveErrorDomain");
    EXPECT_EQ(error.code, 4);
    EXPECT_EQ(error.localizedDescription(), "stopped");
}

TEST(ZentileInterface, GeneratorRefusesToCreateArchives) {
    ConcreteZIPArchiveGenerator generator;
    Platform::Error error;
    EXPECT_EQ(generator.createArchiveWithFiles({}, "/tmp", "x.zip", {}, nullptr, nullptr, &error), nullptr);
    EXPECT_EQ(error.domain, VxArchiveErrorDomain);
    EXPECT_EQ(error.code, ZIPErrorUnsupported);
}

} // namespace
} // namespace Zentile
