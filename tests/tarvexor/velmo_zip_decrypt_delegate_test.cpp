// The key-provider-first decryption delegate against in-process fakes.
#include "fakes.h"

#include <gtest/gtest.h>

namespace TarvexorTest {
namespace {

using testing::_;
using testing::Eq;
using testing::NiceMock;
using testing::Return;
using testing::StrictMock;
using Zentile::ZIPDecryptDecision;
using Zentile::ZIPDecryptResult;

class DecryptDelegate : public testing::Test {
protected:
    std::shared_ptr<StrictMock<MockProvider>> provider = std::make_shared<StrictMock<MockProvider>>();
    std::shared_ptr<StrictMock<MockDecryptDelegate>> wrapped = std::make_shared<StrictMock<MockDecryptDelegate>>();
    std::shared_ptr<MockArchive> archive = std::make_shared<NiceMock<MockArchive>>();
    Tarvexor::VelmoZIPDecryptDelegate delegate{provider, wrapped};
};

TEST_F(DecryptDelegate, EntryWithoutRecordGoesStraightToTheWrappedDelegate) {
    EXPECT_CALL(*wrapped, passwordForArchive(Eq(archive), Eq(std::optional<std::string>("a/b.txt")),
                                             Eq(nullptr), 2u))
        .WillOnce(Return(ZIPDecryptResult(ZIPDecryptDecision::SkipFile, std::nullopt)));
    auto answer = delegate.passwordForArchive(archive, "a/b.txt", nullptr, 2);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->decision(), ZIPDecryptDecision::SkipFile);
}

TEST_F(DecryptDelegate, ProviderPasswordIsDecisionZeroOnEveryAttemptAndTheWrappedDelegateIsNotAsked) {
    const auto kms = record(R"({"urn":"urn:key:1"})");
    EXPECT_CALL(*provider, archiveDecryptionPasswordWithJSON(R"({"urn":"urn:key:1"})"))
        .Times(3)
        .WillRepeatedly(Return("from the service"));
    for (std::uint32_t attempt = 0; attempt < 3; ++attempt) {
        auto answer = delegate.passwordForArchive(archive, "x", kms, attempt);
        ASSERT_TRUE(answer);
        EXPECT_EQ(answer->decision(), ZIPDecryptDecision::UsePassword);
        EXPECT_EQ(answer->password(), "from the service");
    }
}

TEST_F(DecryptDelegate, EmptyProviderPasswordIsStillAPassword) {
    EXPECT_CALL(*provider, archiveDecryptionPasswordWithJSON(_)).WillOnce(Return(std::string()));
    auto answer = delegate.passwordForArchive(archive, "x", record("{}"), 0);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->decision(), ZIPDecryptDecision::UsePassword);
    EXPECT_EQ(answer->password(), "");
}

TEST_F(DecryptDelegate, ProviderWithoutPasswordFallsBackWithTheRecordAttached) {
    const auto kms = record("{}");
    EXPECT_CALL(*provider, archiveDecryptionPasswordWithJSON("{}")).WillOnce(Return(std::nullopt));
    EXPECT_CALL(*wrapped, passwordForArchive(Eq(archive), Eq(std::optional<std::string>("x")), Eq(kms), 1u))
        .WillOnce(Return(ZIPDecryptResult(ZIPDecryptDecision::UsePassword, "typed")));
    auto answer = delegate.passwordForArchive(archive, "x", kms, 1);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->password(), "typed");
}

TEST_F(DecryptDelegate, RecordThatIsNotUtf8IsNotHandedToTheProvider) {
    const std::vector<std::vector<std::uint8_t>> broken = {
        {0x80},                   // a continuation byte alone
        {0xC0, 0x80},             // overlong NUL
        {0xE0, 0x80, 0xAF},       // overlong slash
        {0xED, 0xA0, 0x80},       // a surrogate
        {0xF4, 0x90, 0x80, 0x80}, // above U+10FFFF
        {'{', 0xE2, 0x82},        // cut short
        {0xFF, '}'},
    };
    for (const auto& bytes : broken) {
        const auto kms = std::make_shared<const Zentile::ZIPKMS>(bytes);
        EXPECT_CALL(*wrapped, passwordForArchive(_, _, Eq(kms), 0u)).WillOnce(Return(std::nullopt));
        EXPECT_FALSE(delegate.passwordForArchive(archive, "x", kms, 0));
    }
    const std::string wellFormed = "{\"n\":\"\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80\"}";
    EXPECT_CALL(*provider, archiveDecryptionPasswordWithJSON(wellFormed)).WillOnce(Return("pw"));
    EXPECT_TRUE(delegate.passwordForArchive(archive, "x", record(wellFormed), 0));
}

TEST_F(DecryptDelegate, RetriesAreTheWrappedDelegates) {
    EXPECT_CALL(*wrapped, maximumNumberOfRetries()).WillOnce(Return(5u));
    EXPECT_EQ(delegate.maximumNumberOfRetries(), 5u);
}

TEST(DecryptDelegateAlone, WithoutWrappedDelegateNoRetriesAndNoAnswerUnlessTheProviderHasOne) {
    auto provider = std::make_shared<StrictMock<MockProvider>>();
    Tarvexor::VelmoZIPDecryptDelegate delegate(provider, nullptr);
    EXPECT_EQ(delegate.maximumNumberOfRetries(), 0u);
    EXPECT_FALSE(delegate.passwordForArchive(nullptr, "x", nullptr, 0));
    EXPECT_CALL(*provider, archiveDecryptionPasswordWithJSON("{}"))
        .WillOnce(Return(std::nullopt))
        .WillOnce(Return("pw"));
    EXPECT_FALSE(delegate.passwordForArchive(nullptr, "x", record("{}"), 0));
    EXPECT_EQ(delegate.passwordForArchive(nullptr, "x", record("{}"), 0)->password(), "pw");

    Tarvexor::VelmoZIPDecryptDelegate withoutProvider(nullptr, nullptr);
    EXPECT_FALSE(withoutProvider.passwordForArchive(nullptr, "x", record("{}"), 0));
}

TEST(DelegateBundle, KeyProviderFormCopiesTheCallersDelegatesAndWrapsItsDecryption) {
    FullBundle caller;
    auto provider = std::make_shared<StrictMock<MockProvider>>();
    auto wrappedBundle = Tarvexor::VelmoDecrypt::initWithDelegate(caller.bundle, provider);
    ASSERT_NE(wrappedBundle, caller.bundle);
    EXPECT_EQ(wrappedBundle->progressDelegate(), caller.progress);
    EXPECT_EQ(wrappedBundle->filterDelegate(), caller.filter);
    EXPECT_EQ(wrappedBundle->encryptionDelegate(), caller.encryption);
    EXPECT_EQ(wrappedBundle->duplicateDelegate(), caller.duplicate);
    auto decryption = std::dynamic_pointer_cast<Tarvexor::VelmoZIPDecryptDelegate>(wrappedBundle->decryptionDelegate());
    ASSERT_TRUE(decryption);
    EXPECT_EQ(decryption->kmsProvider, provider);
    EXPECT_EQ(decryption->delegate, caller.decryption);

    auto fromNothing = Tarvexor::VelmoDecrypt::initWithDelegate(nullptr, provider);
    EXPECT_FALSE(fromNothing->progressDelegate());
    auto alone = std::dynamic_pointer_cast<Tarvexor::VelmoZIPDecryptDelegate>(fromNothing->decryptionDelegate());
    ASSERT_TRUE(alone);
    EXPECT_FALSE(alone->delegate);
}

} // namespace
} // namespace TarvexorTest
