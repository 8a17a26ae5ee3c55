// The bridge over the real engine, with archives from the fixture writer: entries that carry a
// key-service record ask the key provider first, entries without one go to the application's
// decryption delegate, and a provider without a password falls back with the record attached.
#include <fstream>
#include <map>
#include <mutex>

#include <gtest/gtest.h>

#include "Tarvexor/tarvexor.h"
#include "support/zentile_test_support.h"

namespace TarvexorTest {
namespace {

using namespace ZentileTest;
using Zentile::ZIPDecryptDecision;
using Zentile::ZIPDecryptResult;

const std::string kRecord = R"({"assetUrn":"urn:asset:1","kek":"V6-abc","name":"Q3 report"})";
const std::string kServicePassword = "service password";
const std::string kTypedPassword = "typed password";

// `text` as a JSON string literal.
std::string jsonText(const std::string& text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
        }
        quoted += c;
    }
    return quoted + "\"";
}

// A key provider that knows the passwords of some records and logs what it was asked.
class RecordingProvider : public VorlaneBridge::CryptionInterface {
public:
    explicit RecordingProvider(std::map<std::string, std::string> known) : known_(std::move(known)) {}

    std::optional<std::string> archiveDecryptionPasswordWithJSON(const std::string& json) override {
        asked.push_back(json);
        auto found = known_.find(json);
        return found == known_.end() ? std::nullopt : std::optional<std::string>(found->second);
    }

    std::shared_ptr<VorlaneBridge::EncryptionInfo> archiveEncryptionInfoWithKeyURN(const std::optional<std::string>&,
                                                                                  const std::optional<std::string>&) override {
        return nullptr;
    }
    std::shared_ptr<VorlaneBridge::EncryptionInfo> archiveEncryptionInfoNoAssetWithPassword(const std::string&) override {
        return nullptr;
    }

    std::vector<std::string> asked;

private:
    std::map<std::string, std::string> known_;
};

class BridgeOverEngine : public testing::Test {
protected:
    ScratchFolder scratch;
    fs::path destination = scratch.path() / "out";
    std::shared_ptr<CallLog> log = std::make_shared<CallLog>();

    // Writes the archive a fixture description asks for.
    fs::path writeArchive(const std::string& description) {
        writeFile(scratch.path() / "description.json", description);
        const fs::path archive = scratch.path() / "archive.zip";
        const std::string command = std::string(VX_PYTHON) + " " +
                                    quote(std::string(VX_SOURCE_DIR) + "/tests/zentile/fixtures/make_archives.py") +
                                    " spec description.json archive.zip";
        EXPECT_EQ(run(command, scratch.path()), 0);
        return archive;
    }

    // Opens through the key-provider generator and extracts every top-level item.
    ExtractResult extractThroughBridge(const fs::path& archivePath, std::shared_ptr<RecordingProvider> provider,
                                       std::shared_ptr<Zentile::ZIPDecryptDelegate> application) {
        auto bundle = std::make_shared<Zentile::ConcreteZIPArchiveDelegate>(std::make_shared<RecordingProgress>(log),
                                                                            nullptr, std::move(application));
        Tarvexor::VelmoZIPArchiveGenerator generator(std::move(provider));
        Platform::Error error;
        auto archive = generator.readArchiveAtPath(archivePath.string(), Platform::FileManager::defaultManager(),
                                                   bundle, &error);
        if (!archive) {
            ADD_FAILURE() << error.localizedDescription();
            return {};
        }
        EXPECT_TRUE(std::dynamic_pointer_cast<Tarvexor::VelmoZIPArchiveModel>(archive));
        ExtractResult result;
        fs::create_directories(destination);
        result.ok = archive->extractItems(archive->children(), destination.string(), bundle, &result.error);
        return result;
    }
};

// Two entries with the record (one per encryption kind), one protected entry without it, one plain.
std::string mixedArchive() {
    return R"({"entries": [
        {"name": "with-record/aes.txt", "text": "opened by the key service (AES)\n", "encryption": "aes",
         "password": ")" + kServicePassword + R"(", "key_record": )" + jsonText(kRecord) + R"(},
        {"name": "with-record/traditional.txt", "text": "opened by the key service (traditional)\n",
         "encryption": "traditional", "password": ")" + kServicePassword + R"(", "key_record": )" + jsonText(kRecord) + R"(},
        {"name": "typed.txt", "text": "opened with a typed password\n", "encryption": "aes", "aes_version": 1,
         "aes_strength": 128, "password": ")" + kTypedPassword + R"("},
        {"name": "plain.txt", "text": "not protected\n"}
    ]})";
}

const std::map<std::string, std::string> kExtracted = {
    {"plain.txt", "not protected\n"},
    {"typed.txt", "opened with a typed password\n"},
    {"with-record", "/"},
    {"with-record/aes.txt", "opened by the key service (AES)\n"},
    {"with-record/traditional.txt", "opened by the key service (traditional)\n"},
};

TEST_F(BridgeOverEngine, RecordAsksTheProviderFirstAndTheApplicationOnlyForEntriesWithoutOne) {
    const auto archive = writeArchive(mixedArchive());
    auto provider = std::make_shared<RecordingProvider>(std::map<std::string, std::string>{{kRecord, kServicePassword}});
    auto application = passwordAnswer(log, kTypedPassword);

    const auto result = extractThroughBridge(archive, provider, application);
    ASSERT_TRUE(result.ok) << result.error.localizedDescription();
    EXPECT_EQ(snapshot(destination), kExtracted);
    EXPECT_EQ(provider->asked, std::vector<std::string>(2, kRecord));
    EXPECT_EQ(application->records, std::vector<std::optional<std::string>>{std::nullopt});
    EXPECT_EQ(fileResults(*log).at("typed.txt"), 0u);
}

TEST_F(BridgeOverEngine, ProviderWithoutPasswordFallsBackToTheApplicationWithTheRecord) {
    const auto archive = writeArchive(mixedArchive());
    auto provider = std::make_shared<RecordingProvider>(std::map<std::string, std::string>{});
    // The application knows the service's password for the archive's protected entries too.
    auto application = std::make_shared<ScriptedDecryption>(
        log, std::vector<std::optional<ZIPDecryptResult>>{
                 ZIPDecryptResult(ZIPDecryptDecision::UsePassword, kServicePassword),
                 ZIPDecryptResult(ZIPDecryptDecision::UsePassword, kServicePassword),
                 ZIPDecryptResult(ZIPDecryptDecision::UsePassword, kTypedPassword)});

    const auto result = extractThroughBridge(archive, provider, application);
    ASSERT_TRUE(result.ok) << result.error.localizedDescription();
    EXPECT_EQ(snapshot(destination), kExtracted);
    EXPECT_EQ(provider->asked, std::vector<std::string>(2, kRecord));
    EXPECT_EQ(application->records, (std::vector<std::optional<std::string>>{kRecord, kRecord, std::nullopt}));
}

TEST_F(BridgeOverEngine, RecordThatIsNotUtf8GoesToTheApplicationWithoutAskingTheProvider) {
    const auto archive = writeArchive(R"({"entries": [
        {"name": "a.txt", "text": "a\n", "encryption": "aes", "password": "pw", "key_record_hex": "7bc0af7d"}]})");
    auto provider = std::make_shared<RecordingProvider>(std::map<std::string, std::string>{});
    auto application = passwordAnswer(log, "pw");

    const auto result = extractThroughBridge(archive, provider, application);
    ASSERT_TRUE(result.ok) << result.error.localizedDescription();
    EXPECT_TRUE(provider->asked.empty());
    ASSERT_EQ(application->records.size(), 1u);
    EXPECT_EQ(application->records[0], std::string("\x7b\xc0\xaf\x7d"));
    EXPECT_EQ(readFile(destination / "a.txt"), "a\n");
}

TEST_F(BridgeOverEngine, WrongProviderPasswordIsRepeatedUntilTheRetriesAreUsedAndTheEntryFails) {
    const auto archive = writeArchive(R"({"entries": [
        {"name": "locked.txt", "text": "locked\n", "encryption": "aes", "password": "right",
         "key_record": )" + jsonText(kRecord) + R"(},
        {"name": "plain.txt", "text": "not protected\n"}]})");
    auto provider = std::make_shared<RecordingProvider>(std::map<std::string, std::string>{{kRecord, "wrong"}});
    auto application = std::make_shared<ScriptedDecryption>(
        log, std::vector<std::optional<ZIPDecryptResult>>{ZIPDecryptResult(ZIPDecryptDecision::UsePassword, "right")},
        3);

    const auto result = extractThroughBridge(archive, provider, application);
    EXPECT_TRUE(result.ok) << result.error.localizedDescription(); // a per-file error; extraction goes on
    EXPECT_EQ(provider->asked.size(), 3u);
    EXPECT_TRUE(application->records.empty());
    EXPECT_EQ(fileResults(*log).at("locked.txt"), static_cast<std::uint32_t>(Zentile::ZIPErrorWrongPassphrase));
    EXPECT_EQ(snapshot(destination), (std::map<std::string, std::string>{{"plain.txt", "not protected\n"}}));
}

} // namespace
} // namespace TarvexorTest
