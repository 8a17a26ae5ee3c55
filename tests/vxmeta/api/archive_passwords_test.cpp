// Archive passwords and archive key metadata over keys held in the dataset: metadata written by an
// independent implementation (tests/vectors/archive_metadata.py, whose output archive_metadata.json
// holds) opens here; what is written here is read back by it byte for byte (both forms, the final
// line feed, the hex digits for each password length); the failure table; the contingency form; the
// two small queries.
#include <cctype>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <json/value.h>

#include "support/failure_of.h"
#include "support/fake_transport.h"
#include "support/record_test_support.h"
#include "vxmeta/accounts/single_asset_manager.h"
#include "vxmeta/api/raw_vorlane.h"
#include "vxmeta/crypto/key_wrapping.h"
#include "vxmeta/foundation/base64.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/text.h"
#include "vxmeta/records/asset.h"
#include "vxmeta/records/asset_key.h"
#include "vxmeta/records/contingency_master_key.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/pid.h"
#include "vxmeta/records/team_data.h"
#include "vxmeta/records/user.h"
#include "vxmeta/sync/meta_state.h"

using namespace VxMeta;
using VxMeta::testing::thrownBy;

namespace {

const char* const kOwnUrn = "urn:vx:user/own";
const char* const kTeam = "urn:vx:team/Seven";

const Json::Value& vectors() {
    static const Json::Value v = VxMetaTest::vectorFile("archive_metadata.json");
    return v;
}

std::string unhexText(const std::string& digits) {
    return unhex(digits, 0, VXMECAT_INTERNAL, "bad vector");
}

class ArchivePasswords : public VxMeta::testing::PipelineTest {
protected:
    void SetUp() override {
        PipelineTest::SetUp();
        ASSERT_TRUE(vectors().isObject()) << "tests/vectors/archive_metadata.json is missing";
        LockScope lock(masterMutex);
        globalState.clear();
        globalState.myPrikey = base64_decode(vectors()["user_private_der"].asString());
        myPID->urn = kOwnUrn;
        myPID->pubkey = vectors()["user_public_key"].asString();
        myPID->id = 5;
    }
    void TearDown() override {
        {
            LockScope lock(masterMutex);
            globalState.clear();
            myAssets->clear();
            myKeys->clear();
            myRights->clear();
            myContingencyMasterKeys->clear();
            myTeamDatas->clear();
        }
        PipelineTest::TearDown();
    }

    // A managed key of the dataset whose revision `sequence` holds the key material for the user.
    static std::shared_ptr<AssetKey> hold(const std::string& urn, int32_t sequence, const std::string& keyMaterial,
                                          const std::string& homeServer = "", const std::string& owner = "") {
        auto asset = std::make_shared<Asset>();
        asset->urn = urn;
        asset->name = "Plans";
        asset->owner = owner;
        asset->canEncrypt = true;
        auto key = std::make_shared<AssetKey>();
        key->asset = urn;
        key->owner = owner;
        key->homeServer = homeServer;
        key->participant = kOwnUrn;
        key->participantid = 5;
        key->keysequence = sequence;
        key->allowed = true;
        key->keymaterial = encryptSessionKey(keyMaterial, vectors()["user_public_key"].asString());
        key->assetLink = asset;
        asset->localDirty = asset->remoteDirty = key->localDirty = key->remoteDirty = false;
        LockScope lock(masterMutex);
        myAssets->push_back(asset);
        myKeys->push_back(key);
        return key;
    }
    // The user's contingency master key of the vectors' team, and (publicKey) its group public key.
    static void holdContingency(const std::string& ca, bool publicKey) {
        LockScope lock(masterMutex);
        auto master = std::make_shared<ContingencyMasterKey>();
        master->ca = ca;
        master->recipient = kOwnUrn;
        master->keymaterial = vectors()["contingency"]["cmk_keymaterial"].asString();
        myContingencyMasterKeys->push_back(master);
        globalState.caUrn = kTeam;
        globalState.teamId = 7;
        if (publicKey) {
            auto datum = std::make_shared<TeamData>();
            datum->kind = "Contingency";
            datum->name = "Public Key";
            datum->team_id = 7;
            datum->value = vectors()["group_public_key"].asString();
            myTeamDatas->push_back(datum);
        }
    }
    // The independent reader's verdict on each case, one line each, "ok" when it finds nothing wrong.
    static std::vector<std::string> pythonVerdicts(const Json::Value& cases) {
        // One file per test: CTest runs the tests of this program side by side.
        const std::string file = VxMetaTest::processTempPath(
            std::string("archive_passwords_") + ::testing::UnitTest::GetInstance()->current_test_info()->name() +
            ".json");
        std::ofstream(file, std::ios::binary) << jsonString(cases);
        int status = 0;
        const std::string out = VxMetaTest::runVectorScript("archive_metadata.py", "check " + file, status);
        std::remove(file.c_str());
        EXPECT_EQ(status, 0) << out;
        const std::vector<std::string> lines = splitParts(out.empty() ? out : out.substr(0, out.size() - 1), "\n");
        EXPECT_EQ(lines.size(), cases.size()) << out;
        return lines;
    }

    RawVorlane api;
};

TEST_F(ArchivePasswords, MetadataWrittenByTheIndependentImplementationOpens) {
    for (const Json::Value& c : vectors()["assets"]) {
        SCOPED_TRACE(c["metadata"].asString());
        hold(c["urn"].asString(), c["sequence"].asInt(), c["key"].asString());
        EXPECT_EQ(api.getArchiveDecryptionPassword(c["metadata"].asString(), true),
                  unhexText(c["password_hex"].asString()));
    }
    const Json::Value& contingency = vectors()["contingency"];
    holdContingency(canocase(contingency["ca"].asString()), false); // the team is compared ignoring case
    EXPECT_EQ(api.getArchiveDecryptionPassword(contingency["metadata"].asString(), true),
              unhexText(contingency["password_hex"].asString()));
    EXPECT_TRUE(VxMeta::testing::FakeTransport::exchanges().empty()) << "everything was held";
}

TEST_F(ArchivePasswords, CallerPasswordsComeBackWhole) {
    const std::string key = base64_encode(std::string(32, '\x07'));
    const std::shared_ptr<AssetKey> revision = hold("file-key-1", 3, key, "https://home.example/mds", "urn:vx:user/\xC3\xB6wner");
    struct Row {
        size_t length;
        size_t digits;
    };
    const Row rows[] = {{1, 128}, {31, 128}, {32, 128}, {33, 128}, {47, 128}, {48, 160},
                        {63, 160}, {64, 192}, {79, 192}, {100, 256}};
    Json::Value cases(Json::arrayValue);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.length);
        std::string password;
        for (size_t i = 0; i < row.length; ++i) password.push_back(static_cast<char>('a' + i % 26));
        const RawVorlane::EncryptionInfo info = api.getArchiveEncryptionPassword(revision, password);
        EXPECT_EQ(info.password, row.length < 32 ? password + std::string(32 - row.length, '\0') : password);
        EXPECT_EQ(info.json.rfind("{\"assets\":[{\"file-key-1:3\":\"V7-", 0), 0u) << info.json;
        EXPECT_EQ(api.getArchiveDecryptionPassword(info.json, true), password);
        Json::Value c;
        c["metadata"] = info.json;
        c["key"] = key;
        c["password_hex"] = hex(password);
        c["digits"] = static_cast<Json::UInt>(row.digits);
        c["caller"] = true;
        cases.append(c);
    }
    // A NUL in the password ends it.
    const RawVorlane::EncryptionInfo cut = api.getArchiveEncryptionPassword(revision, std::string("ab\0cd", 5));
    EXPECT_EQ(api.getArchiveDecryptionPassword(cut.json, true), "ab");

    for (const std::string& line : pythonVerdicts(cases)) EXPECT_EQ(line, "ok");
}

TEST_F(ArchivePasswords, WithoutAPasswordASessionKeyIsMadeAndBothFormsAreByteExact) {
    const std::string key = base64_encode(std::string(16, '\x42'));
    const std::shared_ptr<AssetKey> withHome = hold("file-key-2", 1, key, "https://home.example/mds", "urn:vx:user/o");
    const std::shared_ptr<AssetKey> withoutHome = hold("file-key-3", 2, key, "", "urn:vx:user/o");
    Json::Value cases(Json::arrayValue);
    for (const auto& revision : {withHome, withoutHome}) {
        const RawVorlane::EncryptionInfo info = api.getArchiveEncryptionPassword(revision);
        EXPECT_EQ(info.password.size(), 44u);
        EXPECT_EQ(base64_decode(info.password).size(), 32u);
        EXPECT_EQ(info.json.find("V7-"), std::string::npos);
        EXPECT_EQ(info.json.back(), '\n');
        EXPECT_EQ(api.getArchiveDecryptionPassword(info.json, true), info.password);
        Json::Value c;
        c["metadata"] = info.json;
        c["key"] = key;
        c["password_hex"] = hex(info.password);
        c["digits"] = 128;
        c["caller"] = false;
        cases.append(c);
    }
    // The byte layout itself, with the cipher text masked.
    const std::string with = cases[0]["metadata"].asString();
    const std::string without = cases[1]["metadata"].asString();
    const size_t start = std::string("{\"assets\":[{\"file-key-2:1\":\"").size();
    EXPECT_EQ(with.substr(0, start) + "X" + with.substr(start + 128),
              "{\"assets\":[{\"file-key-2:1\":\"X\"}],\"homeServer\":\"https://home.example/mds\",\"owner\":\"urn:vx:user/o\"}\n");
    EXPECT_EQ(without.substr(0, start) + "X" + without.substr(start + 128),
              "{\"assets\":[{\"file-key-3:2\":\"X\"}],\"owner\":\"urn:vx:user/o\"}\n");
    for (const std::string& line : pythonVerdicts(cases)) EXPECT_EQ(line, "ok");

    // No key version: nothing.
    const RawVorlane::EncryptionInfo none = api.getArchiveEncryptionPassword(std::shared_ptr<AssetKey>(), "pw");
    EXPECT_EQ(none.password, "");
    EXPECT_EQ(none.json, "");
}

TEST_F(ArchivePasswords, TheKeyUrnAndManagerFormsUseTheHighestUsableRevision) {
    const std::string key = base64_encode(std::string(24, '\x09'));
    hold("file-key-7", 1, key);
    hold("file-key-7", 3, key);
    hold("file-key-7", 2, key);
    SingleAssetManager manager;
    manager.partialFetch("file-key-7", false, false);
    for (const RawVorlane::EncryptionInfo& info :
         {api.getArchiveEncryptionPassword(manager), api.getArchiveEncryptionPassword("file-key-7"),
          api.getArchiveEncryptionPassword("file-key-7", "pw")}) {
        SCOPED_TRACE(info.json);
        EXPECT_TRUE(VxMetaTest::json(info.json)["assets"][0].isMember("file-key-7:3"));
        EXPECT_EQ(api.getArchiveDecryptionPassword(info.json, true), info.password.substr(0, info.password.find('\0')));
    }
    EXPECT_TRUE(VxMeta::testing::FakeTransport::exchanges().empty()) << "the key was held";
}

TEST_F(ArchivePasswords, TheContingencyFormIsReadByTheIndependentImplementation) {
    holdContingency(kTeam, true);
    {
        LockScope lock(masterMutex);
        myUser->homeServer = "https://home.example/mds";
        globalState.homeServer = "https://remembered.example/mds";
    }
    EXPECT_TRUE(api.isContingencyGroupActive());
    const RawVorlane::EncryptionInfo given = api.getArchiveEncryptionPassword("", "team pass");
    const RawVorlane::EncryptionInfo generated = api.applyContingencyKeyIfNeeded("");
    EXPECT_EQ(given.password, "team pass") << "no padding in this form";
    EXPECT_EQ(generated.password.size(), 44u);
    {
        LockScope lock(masterMutex);
        myPID->id = 0; // no server identity: no owner, the remembered home server
    }
    const RawVorlane::EncryptionInfo unregistered = api.applyContingencyKeyIfNeeded("p");

    Json::Value cases(Json::arrayValue);
    for (const auto* info : {&given, &generated, &unregistered}) {
        Json::Value c;
        c["metadata"] = info->json;
        c["group_private_der"] = vectors()["group_private_der"];
        c["password_hex"] = hex(info->password);
        cases.append(c);
    }
    for (const std::string& line : pythonVerdicts(cases)) EXPECT_EQ(line, "ok");

    const Json::Value registered = VxMetaTest::json(given.json);
    EXPECT_EQ(registered["cgkey"]["ca"].asString(), kTeam);
    EXPECT_EQ(registered["owner"].asString(), kOwnUrn);
    EXPECT_EQ(registered["homeServer"].asString(), "https://home.example/mds");
    const Json::Value bare = VxMetaTest::json(unregistered.json);
    EXPECT_FALSE(bare.isMember("owner"));
    EXPECT_EQ(bare["homeServer"].asString(), "https://remembered.example/mds");
    {
        LockScope lock(masterMutex);
        myPID->id = 5;
    }
    EXPECT_EQ(api.getArchiveDecryptionPassword(given.json, true), "team pass");
}

TEST_F(ArchivePasswords, WithoutAContingencyGroupKeyThePasswordComesWithoutMetadata) {
    EXPECT_FALSE(api.isContingencyGroupActive());
    const RawVorlane::EncryptionInfo info = api.getArchiveEncryptionPassword("", "p");
    EXPECT_EQ(info.password, "p");
    EXPECT_EQ(info.json, "");
}

TEST_F(ArchivePasswords, FailuresCarryTheirCategoryAndText) {
    const std::string key = base64_encode(std::string(32, '\x01'));
    const std::string good = api.getArchiveEncryptionPassword(hold("file-key-1", 1, key), "pw").json;
    const std::string digits = VxMetaTest::json(good)["assets"][0]["file-key-1:1"].asString().substr(3);
    auto assetForm = [](const std::string& cipher, int sequence = 1) {
        return "{\"assets\":[{\"file-key-1:" + std::to_string(sequence) + "\":\"" + cipher + "\"}]}";
    };
    const std::string keyFormat = "Key format is unexpected - expected at least 128 hex characters";
    struct Row {
        std::string metadata;
        const char* category;
        std::string message;
    };
    const std::vector<Row> rows = {
        {"file-key-1:7", VXMECAT_INTERNAL, "Missing or invalid archive session key"},
        {"file-key-1:7:9", VXMECAT_INTERNAL, "Missing or invalid archive session key"},
        {"file-key-1", VXMECAT_INTERNAL, "Missing or invalid archive session key"},
        {R"({"homeServer":"h"})", VXMECAT_INTERNAL, "Missing or invalid archive session key"},
        {R"({"assets":"file-key-1:1"})", VXMECAT_INTERNAL, "Missing or invalid archive session key"},
        {"[1]", VXMECAT_INTERNAL, "Invalid or unknown file metadata format"},
        {"17", VXMECAT_INTERNAL, "Invalid or unknown file metadata format"},
        {"\"file-key-1:1\"", VXMECAT_INTERNAL, "Invalid or unknown file metadata format"},
        {R"({"assets":[]})", VXMECAT_INTERNAL, "Invalid or unknown file metadata format"},
        {R"({"assets":[{"file-key-1:1":["V7-00"]}]})", VXMECAT_INTERNAL, "Invalid or unknown file metadata format"},
        {R"({"owner":{"a":1},"assets":[{"file-key-1:1":"V7-00"}]})", VXMECAT_INTERNAL,
         "Invalid or unknown file metadata format"},
        {R"({"homeServer":7,"cgkey":{"ca":"t","keymaterial":"k"}})", VXMECAT_INTERNAL,
         "Invalid or unknown file metadata format"},
        {R"({"cgkey":{"ca":{},"keymaterial":"k"}})", VXMECAT_INTERNAL, "Invalid or unknown file metadata format"},
        {R"({"cgkey":{"ca":"","keymaterial":"k"}})", VXMECAT_NOTFOUND, "No password found"},
        {R"({"cgkey":{"ca":"urn:vx:team/other","keymaterial":"k"}})", VXMECAT_NOTFOUND,
         "Contingency master key not found"},
        {assetForm("V7-" + digits, 0), VXMECAT_INTERNAL, "Invalid or missing key sequence number"},
        {assetForm("V7-" + digits.substr(0, 126)), VXMECAT_INTERNAL, keyFormat},
        {assetForm("V7-" + digits + "0"), VXMECAT_INTERNAL, keyFormat},
        {assetForm("V7-0g" + digits.substr(2)), VXMECAT_INTERNAL, keyFormat},
        {assetForm("V7-g0" + digits.substr(2)), VXMECAT_INTERNAL, keyFormat},
        {assetForm("V7-" + digits.substr(0, 126) + "0 "), VXMECAT_INTERNAL, keyFormat},
        {assetForm("V7-" + digits.substr(0, 64) + "+1" + digits.substr(66)), VXMECAT_INTERNAL, keyFormat},
        {assetForm("V7-" + digits, 2), VXMECAT_INTERNAL, "Invalid key size for AES"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.metadata);
        const VxMetaException failure = thrownBy([&] { api.getArchiveDecryptionPassword(row.metadata, true); });
        EXPECT_EQ(failure.category, row.category);
        EXPECT_EQ(failure.message, row.message);
    }
    // Upper-case digits read the same; the member whose name sorts first is the one read.
    std::string upper = digits;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(api.getArchiveDecryptionPassword(assetForm("V7-" + upper), true), "pw");
    EXPECT_EQ(api.getArchiveDecryptionPassword(
                  "{\"assets\":[{\"file-key-9:1\":\"V7-00\",\"file-key-1:1\":\"V7-" + digits + "\"}]}", true),
              "pw");
    EXPECT_TRUE(VxMeta::testing::FakeTransport::exchanges().empty());
}

TEST_F(ArchivePasswords, UnhexRefusesEveryPairThatIsNotTwoDigits) {
    EXPECT_EQ(unhex("00ffA0b1", 8, "C", "M"), std::string("\x00\xff\xa0\xb1", 4));
    EXPECT_EQ(unhex("", 0, "C", "M"), "");
    for (const char* text : {"0g", "g0", "0 ", " 0", "+1", "-1", "0x", "x0", "abc", "ab\xC3\xA9", "00"}) {
        SCOPED_TRACE(text);
        const VxMetaException failure = thrownBy([&] { unhex(text, 4, "Cat", "Msg"); });
        EXPECT_EQ(failure.category, "Cat");
        EXPECT_EQ(failure.message, "Msg");
    }
}

TEST_F(ArchivePasswords, KeyCreationFollowsThePolicyExceptForTwoKinds) {
    for (int32_t flag : {11, 10, 1, 0}) {
        {
            LockScope lock(masterMutex);
            globalState.satellitePolicy.skey_flag = flag;
        }
        SCOPED_TRACE(flag);
        EXPECT_EQ(api.canCreateKey("priv"), (flag & 1) != 0);
        EXPECT_EQ(api.canCreateKey("file"), (flag & 1) != 0);
        EXPECT_FALSE(api.canCreateKey("community"));
        EXPECT_FALSE(api.canCreateKey("groupMaster"));
    }
}

TEST_F(ArchivePasswords, TheOneTextFormWithAnEmptyKeyUrnIsRefusedByThePolicy) {
    const VxMetaException failure = thrownBy([&] { api.getArchiveEncryptionPassword(std::string()); });
    EXPECT_EQ(failure.category, VXMECAT_POLICY_VIOLATION);
    EXPECT_EQ(failure.message, "Policy forbids encryption with Orvanel ''");
}

} // namespace
