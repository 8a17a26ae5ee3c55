// Session keys wrapped by an independent implementation (tests/vectors/key_wrapping.py, whose
// output key_wrapping.json holds) open here: the RSA, indirect and master forms, and an asset key
// through the user, the team group and a group master key. Keys issued here open there. The key
// indexes of the global state are set directly, as the reconciliation pass would.
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/record_test_support.h"
#include "vxmeta/crypto/library_started.h"
#include "vxmeta/comm/access_seam.h"
#include "vxmeta/crypto/key_wrapping.h"
#include "vxmeta/crypto/rsa_keys.h"
#include "vxmeta/foundation/base64.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/asset.h"
#include "vxmeta/records/asset_key.h"
#include "vxmeta/records/asset_key_wrapping.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/pid.h"
#include "vxmeta/records/user.h"
#include "vxmeta/sync/meta_state.h"
#include "support/temp_path.h"

using namespace VxMeta;

namespace {

const Json::Value& vectors() {
    static const Json::Value v = VxMetaTest::vectorFile("key_wrapping.json");
    return v;
}

std::string vec(const char* name) { return vectors()[name].asString(); }

constexpr int64_t ownId = 5;
const char* const ownUrn = "urn:vx:user/keys";
const char* const teamGroup = "urn:vx:group/team-7";

std::shared_ptr<AssetKey> keyFor(int64_t participantid, const std::string& material, int32_t keysequence = 1) {
    auto key = std::make_shared<AssetKey>();
    key->participantid = participantid;
    key->participant = ownUrn;
    key->keysequence = keysequence;
    key->keymaterial = material;
    return key;
}

// The user of the vectors logged in, with the personal key of sequence 3 as the current one, the
// team group's key and one group master key (of identity 77).
class KeyWrapping : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(vectors().isObject()) << "tests/vectors/key_wrapping.json is missing";
        // Started first: the start empties the dataset and the global state.
        init();
        mdClearAll(false);
        LockScope lock(masterMutex);
        globalState.clear();
        globalState.myPrikey = base64_decode(vec("user_private_der"));
        myPID->urn = ownUrn;
        myPID->pubkey = vec("user_public_key");
        myPID->id = ownId;
        myUser->homeServer = "home-1";
        personal = keyFor(ownId, vec("personal_keymaterial"), vectors()["personal_keysequence"].asInt());
        globalState.personalKeys[personal->keysequence] = personal;
        globalState.personalKey = personal;
        globalState.teamGroupUrn = teamGroup;
        globalState.teamGroupPrikey = base64_decode(vec("team_group_private_der"));
        globalState.masterKeys[vectors()["group_owner_id"].asInt64()] = keyFor(ownId, vec("group_master_keymaterial"));
        globalState.caUrn = "urn:vx:team/7";
    }
    void TearDown() override {
        LockScope lock(masterMutex);
        globalState.clear();
    }

    std::shared_ptr<AssetKey> personal;
};

template <class F>
VxMetaException failureOf(F&& call) {
    try {
        call();
    } catch (const VxMetaException& e) {
        return e;
    }
    return VxMetaException("none", "no failure");
}

TEST_F(KeyWrapping, FormsWrappedElsewhereOpen) {
    const struct {
        const char* form;
        std::string expected;
    } cases[] = {
        {"rsa_form", vec("session_key")},
        {"indirect_form", vec("session_key")},
        {"master_form", base64_decode(vec("master_secret"))},
    };
    for (const auto& c : cases) EXPECT_EQ(decryptAssetKey(vec(c.form)), c.expected) << c.form;
    EXPECT_EQ(decryptSessionKey(vec("rsa_form")).size(), 44u);
    EXPECT_EQ(decryptMasterKey(vec("master_form")), base64_decode(vec("master_secret")));
}

TEST_F(KeyWrapping, AssetKeyOpensThroughTheKeyItsParticipantCallsFor) {
    const int64_t groupOwner = vectors()["group_owner_id"].asInt64();
    const struct {
        const char* name;
        int64_t participantid;
        std::string participant;
        const char* material;
        const char* expected;
    } cases[] = {
        {"the user", ownId, ownUrn, "rsa_form", "session_key"},
        {"the user, indirect", ownId, ownUrn, "indirect_form", "session_key"},
        {"the team group", 900, teamGroup, "team_group_keymaterial", "team_group_session_key"},
        {"a group master key", groupOwner, "urn:vx:group/other", "group_keymaterial", "group_session_key"},
    };
    for (const auto& c : cases) {
        AssetKey key;
        key.participantid = c.participantid;
        key.participant = c.participant;
        key.keymaterial = vec(c.material);
        EXPECT_EQ(key.decryptKeyMaterial(), vec(c.expected)) << c.name;
    }
}

TEST_F(KeyWrapping, Failures) {
    const std::string indirect = vec("indirect_form");
    const std::string afterSequence = indirect.substr(indirect.find('-', 3));
    const struct {
        const char* name;
        std::function<void()> call;
        const char* category;
        const char* message;
    } cases[] = {
        {"a key sequence that is not a number", [&] { decryptAssetKey("V3-x3" + afterSequence); }, VXMECAT_INTERNAL,
         "Unable to decrypt asset key - invalid key sequence"},
        {"a key sequence with trailing text", [&] { decryptAssetKey("V3-3a" + afterSequence); }, VXMECAT_INTERNAL,
         "Unable to decrypt asset key - invalid key sequence"},
        {"a key sequence beyond int", [&] { decryptAssetKey("V3-99999999999" + afterSequence); }, VXMECAT_INTERNAL,
         "Unable to decrypt asset key - invalid key sequence"},
        {"an unknown personal key", [&] { decryptAssetKey("V3-9" + afterSequence); }, VXMECAT_INTERNAL,
         "Unable to decrypt asset key - required second key is unknown"},
        {"a master form of three parts", [&] { decryptAssetKey(vec("master_form") + "|x"); }, VXMECAT_UPGRADE,
         "Unsupported data format encountered - possible upgrade required"},
        {"a participant without a key",
         [] {
             AssetKey key;
             key.participantid = 1234;
             key.keymaterial = "V2-x";
             key.decryptKeyMaterial();
         },
         VXMECAT_INTERNAL, "Unable to decrypt asset key - required master key is unknown"},
        {"nobody logged in",
         [] {
             {
                 LockScope lock(masterMutex);
                 globalState.myPrikey.clear();
             }
             decryptAssetKey(vec("rsa_form"));
         },
         VXMECAT_INTERNAL, "Unable to decrypt key - not logged in."},
    };
    for (const auto& c : cases) {
        SetUp();
        const VxMetaException e = failureOf(c.call);
        EXPECT_EQ(e.category, c.category) << c.name;
        EXPECT_EQ(e.message, c.message) << c.name;
    }
}

TEST_F(KeyWrapping, AKeyChainThatLoopsFailsInsteadOfExhaustingTheStack) {
    // Two group master keys, each addressed to the other's owner.
    {
        LockScope lock(masterMutex);
        globalState.masterKeys[41] = keyFor(42, "V2-x");
        globalState.masterKeys[42] = keyFor(41, "V2-x");
    }
    AssetKey key;
    key.participantid = 41;
    key.keymaterial = "V2-x";
    const VxMetaException e = failureOf([&] { key.decryptKeyMaterial(); });
    EXPECT_EQ(e.category, VXMECAT_INTERNAL);
    EXPECT_EQ(e.message, "Unable to decrypt asset key - key chain too long");

    // A personal key whose own material names itself in the indirect form.
    const std::string indirect = vec("indirect_form");
    {
        LockScope lock(masterMutex);
        personal->keymaterial = indirect;
    }
    EXPECT_EQ(failureOf([&] { decryptAssetKey(indirect); }).message, "Unable to decrypt asset key - key chain too long");
}

TEST_F(KeyWrapping, WrappingForARecipient) {
    const std::string sessionKey = generateSessionKey();
    // For the user and an asset that is not the personal one: the indirect form under the
    // current personal key.
    const std::string indirect = encryptAssetKey("@adhoc-c-urn", sessionKey, vec("user_public_key"));
    EXPECT_EQ(indirect.rfind("V3-3-", 0), 0u) << indirect;
    EXPECT_EQ(decryptAssetKey(indirect), sessionKey);
    // For the personal asset, and for another recipient: the RSA form.
    const std::string forPersonal = encryptAssetKey("priv-x", sessionKey, vec("user_public_key"));
    EXPECT_EQ(forPersonal.size(), 347u);
    EXPECT_EQ(decryptAssetKey(forPersonal), sessionKey);
    std::string otherPublic, otherPrivate;
    generateRSAKeys(otherPublic, otherPrivate);
    EXPECT_EQ(encryptAssetKey("@adhoc-c-urn", sessionKey, otherPublic).find('|'), std::string::npos);
    EXPECT_EQ(encryptAssetKey("@adhoc-c-urn", sessionKey, otherPublic).size(), 347u);
    // A master form made here opens here.
    EXPECT_EQ(decryptAssetKey(encryptMasterKey("secret bytes\x01", vec("user_public_key"))), "secret bytes\x01");

    {
        LockScope lock(masterMutex);
        globalState.personalKey.reset();
    }
    const VxMetaException e = failureOf([&] { encryptAssetKey("@adhoc-c-urn", sessionKey, vec("user_public_key")); });
    EXPECT_EQ(e.category, VXMECAT_INTERNAL);
    EXPECT_EQ(e.message, "Unable to encrypt asset key - priv key is unknown - sync required");
}

std::shared_ptr<Asset> assetOf(const std::string& urn) {
    auto asset = std::make_shared<Asset>();
    asset->urn = urn;
    return asset;
}

TEST_F(KeyWrapping, IssuedKeySequences) {
    const struct {
        const char* name;
        std::vector<std::pair<std::string, int32_t>> held;
        int32_t expected;
    } cases[] = {
        {"after 1, 2 and 5", {{"@a", 1}, {"@a", 2}, {"@a", 5}}, 6},
        {"no key yet", {}, 1},
        {"only keys of other assets", {{"@b", 9}, {"@c", 4}}, 1},
        {"other assets do not count", {{"@a", 2}, {"@b", 9}}, 3},
        {"a negative sequence", {{"@a", -4}}, 1},
    };
    for (const auto& c : cases) {
        auto keys = std::make_shared<RecordList<AssetKey>>();
        for (const auto& [asset, sequence] : c.held) {
            auto held = std::make_shared<AssetKey>();
            held->asset = asset;
            held->keysequence = sequence;
            keys->push_back(held);
        }
        const size_t before = getMyKeys()->size();
        std::shared_ptr<AssetKey> issued = issueAssetKey(assetOf("@a"), keys);
        EXPECT_EQ(issued->keysequence, c.expected) << c.name;
        EXPECT_EQ(keys->back(), issued) << c.name;
        EXPECT_EQ(getMyKeys()->size(), before + 1) << c.name;
    }
}

TEST_F(KeyWrapping, IssuedKeyOpensElsewhere) {
    std::shared_ptr<Asset> asset = assetOf("@adhoc-cookie-urn");
    std::shared_ptr<AssetKey> issued = issueAssetKey(asset, getMyKeys());
    ASSERT_EQ(getMyKeys()->size(), 1u); // the dataset's list is given: appended once
    EXPECT_EQ(issued->assetLink, asset);
    EXPECT_EQ(issued->asset, "@adhoc-cookie-urn");
    EXPECT_EQ(issued->owner, ownUrn);
    EXPECT_EQ(issued->participant, ownUrn);
    EXPECT_EQ(issued->ca, "urn:vx:team/7");
    EXPECT_EQ(issued->homeServer, "home-1");
    EXPECT_FALSE(issued->allowed);
    EXPECT_EQ(issued->ckeymaterial.rfind("V3-3-", 0), 0u);
    issued->participantid = ownId;
    const std::string sessionKey = issued->decryptKeyMaterial();
    ASSERT_EQ(sessionKey.size(), 44u);

    const std::string path = VxMetaTest::processTempPath("issued_key.json");
    Json::Value given(Json::objectValue);
    given["private_der"] = vec("user_private_der");
    given["personal_key"] = vec("personal_key");
    given["keymaterial"] = issued->keymaterial;
    given["ckeymaterial"] = issued->ckeymaterial;
    std::ofstream(path, std::ios::binary) << jsonString(given);
    int status = -1;
    const std::string opened = VxMetaTest::runVectorScript("key_wrapping.py", "open " + path, status);
    std::remove(path.c_str());
    EXPECT_EQ(status, 0);
    EXPECT_EQ(opened, sessionKey + "\n" + sessionKey + "\n");
}

TEST_F(KeyWrapping, TheIssuedPersonalKeyHasNoIndirectForm) {
    std::shared_ptr<AssetKey> issued = issueAssetKey(assetOf("priv-user"), getMyKeys());
    EXPECT_TRUE(issued->ckeymaterial.empty());
    EXPECT_FALSE(issued->toJSONValue(true)["record"].isMember("ckeymaterial"));
    EXPECT_EQ(decryptSessionKey(issued->keymaterial).size(), 44u);
}

TEST_F(KeyWrapping, IssuingLeavesTheListsAloneWhenItFails) {
    {
        LockScope lock(masterMutex);
        globalState.personalKey.reset();
    }
    auto keys = std::make_shared<RecordList<AssetKey>>();
    EXPECT_THROW(issueAssetKey(assetOf("@a"), keys), VxMetaException);
    EXPECT_TRUE(keys->empty());
    EXPECT_TRUE(getMyKeys()->empty());
}

} // namespace
