// Archive passwords end to end against the test key service over HTTPS, through the archive-key
// facade: A asks for a password and metadata for a managed key and for the team's contingency group;
// the ZIP fixture writer makes AES archives with those passwords and the metadata in each entry's
// record; B, allowed on the key, opens the archive through the archive bridge with the facade as its
// key provider; C, without access, gets no password after exactly one access request; D, holder of
// the team's contingency master key, opens the contingency archive.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Tarvexor/tarvexor.h"
#include "Vorlane/Cryption/cryption_facade.h"
#include "Vorlane/VorlaneWrapper/vorlane_wrapper.h"
#include "support/record_test_support.h"
#include "support/zentile_test_support.h"
#include "vxmeta/accounts/service/managed_keys_fixture.h"
#include "vxmeta/accounts/single_asset_manager.h"
#include "vxmeta/foundation/json.h"

using namespace VxMeta;
using namespace ZentileTest;

namespace {

const char kTeam[] = "urn:vx:team/archives";
const std::string kPassword = "archive pass \xC3\xA9";

class ArchivePasswordsOnTheService : public VxMeta::testing::ManagedKeysServiceTest {
protected:
    void SetUp() override {
        ManagedKeysServiceTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        wrapper = std::make_shared<VorlaneBridge::VorlaneWrapper>();
        facade = std::make_shared<VorlaneBridge::CryptionFacade>(wrapper);
    }

    // An archive of one AES entry protected by the password, carrying the metadata as its record.
    fs::path archiveWith(const std::string& name, const std::string& password, const std::string& metadata) {
        Json::Value entry;
        entry["name"] = name;
        entry["text"] = "contents of " + name + "\n";
        entry["encryption"] = "aes";
        entry["password"] = password;
        entry["key_record"] = metadata;
        Json::Value description;
        description["entries"].append(entry);
        writeFile(scratch.path() / "description.json", jsonString(description));
        const fs::path archive = scratch.path() / (name + ".zip");
        const std::string command = std::string(VX_PYTHON) + " " +
                                    quote(std::string(VX_SOURCE_DIR) + "/tests/zentile/fixtures/make_archives.py") +
                                    " spec description.json " + quote(archive.filename().string());
        EXPECT_EQ(run(command, scratch.path()), 0);
        return archive;
    }

    // Extracts the archive through the archive bridge with the facade as key provider; an
    // application that is asked answers a wrong password and records the question.
    std::map<std::string, std::string> openThroughTheBridge(const fs::path& archivePath) {
        const fs::path destination =
            scratch.path() / ("out-" + archivePath.stem().string() + "-" + std::to_string(++extractions));
        fs::create_directories(destination);
        auto log = std::make_shared<CallLog>();
        application = passwordAnswer(log, "not the password");
        auto bundle = std::make_shared<Zentile::ConcreteZIPArchiveDelegate>(std::make_shared<RecordingProgress>(log),
                                                                            nullptr, application);
        Tarvexor::VelmoZIPArchiveGenerator generator(facade);
        Platform::Error error;
        auto archive = generator.readArchiveAtPath(archivePath.string(), Platform::FileManager::defaultManager(),
                                                   bundle, &error);
        if (!archive) {
            ADD_FAILURE() << error.localizedDescription();
            return {};
        }
        archive->extractItems(archive->children(), destination.string(), bundle, &error);
        return snapshot(destination);
    }

    ScratchFolder scratch;
    std::shared_ptr<VorlaneBridge::VorlaneWrapper> wrapper;
    std::shared_ptr<VorlaneBridge::CryptionFacade> facade;
    std::shared_ptr<ScriptedDecryption> application;
    int extractions = 0;
};

TEST_F(ArchivePasswordsOnTheService, AManagedKeysArchiveOpensForItsUsersAndTheContingencyGroup) {
    const Json::Value a = person("a@example.test");
    const Json::Value b = person("b@example.test");
    const Json::Value c = person("c@example.test");
    const Json::Value d = person("d@example.test");
    personalKeyOf(a);
    Json::Value spec;
    spec["urn"] = kTeam;
    const Json::Value team = admin("/teams", spec);
    const std::string teamPath = "/teams/" + team["id"].asString();
    for (const Json::Value* account : {&a, &d}) {
        Json::Value member;
        member["account"] = (*account)["id"];
        admin(teamPath + "/member", member);
    }
    Json::Value holder;
    holder["account"] = d["id"];
    admin(teamPath + "/contingency-group", holder);
    admin(teamPath + "/contingency-master-key", holder);

    // A makes a key and asks for a password for it, and for one for the team's contingency group.
    signInAs(a, true);
    SingleAssetManager made;
    made.createAsset("Plans");
    const std::string urn = made.getURN();
    const std::shared_ptr<VorlaneBridge::EncryptionInfo> forKey = facade->archiveEncryptionInfoWithKeyURN(urn, kPassword);
    ASSERT_TRUE(forKey);
    EXPECT_EQ(forKey->password(), kPassword) << "read up to the padding";
    ASSERT_TRUE(forKey->json());
    const Json::Value metadata = VxMetaTest::json(*forKey->json());
    EXPECT_TRUE(metadata["assets"][0].isMember(urn + ":1")) << *forKey->json();
    EXPECT_EQ(metadata["owner"], a["urn"]);
    const std::shared_ptr<VorlaneBridge::EncryptionInfo> forTeam =
        facade->archiveEncryptionInfoNoAssetWithPassword("team pass");
    ASSERT_TRUE(forTeam && forTeam->json());
    EXPECT_EQ(forTeam->password(), "team pass");
    EXPECT_EQ(VxMetaTest::json(*forTeam->json())["cgkey"]["ca"].asString(), kTeam);

    const fs::path plans = archiveWith("plans.txt", *forKey->password(), *forKey->json());
    const fs::path teamArchive = archiveWith("team.txt", *forTeam->password(), *forTeam->json());

    // A's other device gives B access; A's next cycle issues B's revision.
    allow(a, urn, b);
    sync(false);

    // B opens the archive through the bridge: the key service answers, the application is not asked.
    signInAs(b, false);
    EXPECT_EQ(openThroughTheBridge(plans),
              (std::map<std::string, std::string>{{"plans.txt", "contents of plans.txt\n"}}));
    EXPECT_TRUE(application->records.empty());
    const size_t loads = requestsTo("GET asset?urn=");
    EXPECT_EQ(facade->archiveDecryptionPasswordWithJSON(*forKey->json()), kPassword);
    EXPECT_EQ(requestsTo("GET asset?urn="), loads + 1) << "asked again, the library is asked again";

    // C may not use the key: no password, one access request, and none more on the next attempt.
    signInAs(c, false);
    EXPECT_EQ(facade->archiveDecryptionPasswordWithJSON(*forKey->json()), std::nullopt);
    EXPECT_EQ(requestsTo("POST assetrequest"), 1u);
    EXPECT_EQ(stored("assetrequest", "asset", urn).size(), 1u);
    EXPECT_EQ(openThroughTheBridge(plans), (std::map<std::string, std::string>{}));
    EXPECT_EQ(application->records, std::vector<std::optional<std::string>>(3, *forKey->json()))
        << "the passphrase prompt gets the record";
    EXPECT_EQ(requestsTo("POST assetrequest"), 1u);

    // D holds the team's contingency master key: the contingency archive opens.
    signInAs(d, true);
    EXPECT_EQ(openThroughTheBridge(teamArchive),
              (std::map<std::string, std::string>{{"team.txt", "contents of team.txt\n"}}));
    EXPECT_TRUE(application->records.empty());
    // B holds none, whatever the key.
    signInAs(b, true);
    EXPECT_EQ(facade->archiveDecryptionPasswordWithJSON(*forTeam->json()), std::nullopt);
}

} // namespace
