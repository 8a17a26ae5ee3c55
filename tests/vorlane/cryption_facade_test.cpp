// The archive-key facade over the library with nobody signed in: every library failure is an absent
// answer, an absent and an empty key URN or password are the same request, and the library's result
// becomes EncryptionData with absent texts for empty ones.
#include "Vorlane/Cryption/cryption_facade.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "Vorlane/Cryption/encryption_data_library.h"
#include "vxmeta/comm/access_seam.h"

namespace {

class CryptionFacadeTest : public testing::Test {
protected:
    void SetUp() override { VxMeta::mdClearAll(false); }

    std::shared_ptr<VorlaneBridge::CryptionFacade> facade =
        std::make_shared<VorlaneBridge::CryptionFacade>(std::make_shared<VorlaneBridge::VorlaneWrapper>());
};

TEST_F(CryptionFacadeTest, LibraryFailuresAreAbsentAnswers) {
    for (const char* json : {"[1]", R"({"assets":[{"file-key-1:1":{"x":1}}]})", "file-key-1:1",
                             R"({"assets":[{"file-key-1:1":"V7-00"}]})", R"({"cgkey":{"ca":"","keymaterial":"k"}})"}) {
        SCOPED_TRACE(json);
        EXPECT_EQ(facade->archiveDecryptionPasswordWithJSON(json), std::nullopt);
    }
    EXPECT_EQ(facade->archiveEncryptionInfoWithKeyURN(std::string("file-key-1"), std::string("p")), nullptr)
        << "nobody is signed in";
    EXPECT_EQ(facade->archiveEncryptionInfoWithKeyURN(std::string("file-key-1"), std::nullopt), nullptr);
}

TEST_F(CryptionFacadeTest, AnAbsentOrEmptyKeyUrnAsksForTheContingencyForm) {
    // Without the team's contingency group key the library answers the password alone.
    for (const auto& keyURN : {std::optional<std::string>(), std::optional<std::string>("")}) {
        const auto info = facade->archiveEncryptionInfoWithKeyURN(keyURN, std::string("team pass"));
        ASSERT_TRUE(info);
        EXPECT_EQ(info->password(), "team pass");
        EXPECT_EQ(info->json(), std::nullopt);
    }
    const auto noAsset = facade->archiveEncryptionInfoNoAssetWithPassword("team pass");
    ASSERT_TRUE(noAsset);
    EXPECT_EQ(noAsset->password(), "team pass");
    EXPECT_EQ(noAsset->json(), std::nullopt);
    // Without a password a session key is made: absent and empty alike.
    for (const auto& password : {std::optional<std::string>(), std::optional<std::string>("")}) {
        const auto info = facade->archiveEncryptionInfoWithKeyURN(std::nullopt, password);
        ASSERT_TRUE(info && info->password());
        EXPECT_EQ(info->password()->size(), 44u);
    }
}

TEST(EncryptionData, LibraryTextsAreReadAsUtf8CStrings) {
    struct Row {
        std::string password;
        std::string json;
        std::optional<std::string> readPassword;
        std::optional<std::string> readJson;
    };
    const Row rows[] = {
        {"", "", std::nullopt, std::nullopt},
        {std::string("pw") + std::string(30, '\0'), "{}\n", "pw", "{}\n"},
        {"p\xC3\xA4ss", "", "p\xC3\xA4ss", std::nullopt},
        {"\xFF\xFE", "{}\n", std::nullopt, "{}\n"},
    };
    for (const Row& row : rows) {
        const auto data = VorlaneBridge::initWithEncryptionInfo({row.password, row.json});
        ASSERT_TRUE(data);
        EXPECT_EQ(data->password(), row.readPassword);
        EXPECT_EQ(data->json(), row.readJson);
    }
    VorlaneBridge::EncryptionData made(std::string("a"), std::nullopt);
    made.setJson(std::string("{}"));
    EXPECT_EQ(made.json(), "{}");
}

} // namespace
