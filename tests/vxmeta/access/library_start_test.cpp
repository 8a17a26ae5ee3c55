// Library start and reset: init works once; what mdClearAll keeps with and without the server; the
// server settings and the persisted state record that mirrors them.
#include "support/access_fixture.h"

#include "vxmeta/access/server_settings.h"
#include "vxmeta/api/raw_vorlane.h"
#include "vxmeta/comm/cluster_evaluator.h"
#include "vxmeta/comm/cluster_servers.h"
#include "vxmeta/comm/vcsr.h"
#include "vxmeta/records/device.h"
#include "vxmeta/records/persists.h"
#include "vxmeta/records/sid.h"
#include "vxmeta/records/user.h"

using namespace VxMeta;
using namespace VxMeta::testing;
using namespace VxMetaTest;

namespace {

class LibraryStart : public AccessTest {};

TEST_F(LibraryStart, InitWorksOnceAndFillsTheCompatibilities) {
    setMds("https://kept.example/mds", "V2-kept");
    LogCapture log(5);
    init();
    RawVorlane api;
    EXPECT_TRUE(log.lines().empty());
    EXPECT_EQ(servicePublicKey(), "V2-kept");
    EXPECT_EQ(api.getPrefix(), "https://kept.example/mds");
    EXPECT_EQ(compatibilities, (std::set<std::string>{"", "Mandatory", "ReadOnly", "Optional", "Suggested"}));
}

TEST_F(LibraryStart, ClearAllKeepsTheServerOnlyWhenAsked) {
    for (bool keepServer : {true, false}) {
        SCOPED_TRACE(keepServer ? "keeping the server" : "back to the default server");
        mdClearAll(false);
        setMds("https://kept.example/mds/api/v1.0/", "V2-kept");
        myPersists->cmdsPrefix = "https://central.example";
        myPersists->lockerActive = true;
        myPersists->pollingInterval = 5;
        ClusterEvaluatorPtr evaluator = getMyClusterEvaluator();
        getMyClusterServers()->getServerForUrl(evaluator->getPrefix())->setAccessToken("V2 t");
        logIn();
        globalState.credentials.setPassword("pw");
        myUser->loginSalt = "salt";
        std::shared_ptr<Persists> oldPersists = myPersists;

        mdClearAll(keepServer);

        EXPECT_NE(myPersists, oldPersists);
        EXPECT_EQ(myPersists->pollingInterval, 60);
        EXPECT_EQ(globalState.myPrikey, "");
        EXPECT_EQ(globalState.credentials.getPassword(), "");
        EXPECT_EQ(myPID->urn, "");
        EXPECT_EQ(myUser->loginSalt, "");
        EXPECT_TRUE(myPersists->localDirty && myPersists->remoteDirty);
        for (VxMetadata* record : std::initializer_list<VxMetadata*>{myPID.get(), mySID.get(), myUser.get(), myDevice.get()}) {
            EXPECT_FALSE(record->localDirty);
            EXPECT_FALSE(record->remoteDirty);
        }
        const std::string token = getMyClusterServers()->getServerForUrl(getMyClusterEvaluator()->getPrefix())->getAccessToken();
        if (keepServer) {
            EXPECT_EQ(getMyClusterEvaluator(), evaluator);
            EXPECT_EQ(token, "V2 t");
            EXPECT_EQ(servicePublicKey(), "V2-kept");
            EXPECT_EQ(myPersists->mdsPubkey, "V2-kept");
            EXPECT_EQ(myPersists->setPrefix, "https://kept.example/mds");
            EXPECT_EQ(myPersists->cmdsPrefix, "https://central.example");
            EXPECT_TRUE(myPersists->lockerActive);
            EXPECT_EQ(RawVorlane().getPrefix(), "https://kept.example/mds");
        } else {
            EXPECT_NE(getMyClusterEvaluator(), evaluator);
            EXPECT_EQ(token, "");
            EXPECT_EQ(servicePublicKey(), cmdsPubkey);
            EXPECT_EQ(myPersists->mdsPubkey, cmdsPubkey);
            EXPECT_EQ(myPersists->setPrefix, "");
            EXPECT_EQ(myPersists->cmdsPrefix, "");
            EXPECT_FALSE(myPersists->lockerActive);
            EXPECT_EQ(RawVorlane().getPrefix(), VCSR::CMDS_URL->baseUrl);
        }
    }
}

TEST_F(LibraryStart, ServerSettingsMarkTheStateRecordOnlyOnAChange) {
    setMds("https://one.example/mds/api/v1.0", "V2-one");
    EXPECT_EQ(myPersists->setPrefix, "https://one.example/mds");
    myPersists->localDirty = false;

    // The same base URL and key: nothing to store.
    setMds("https://one.example/mds/", "V2-one");
    EXPECT_FALSE(myPersists->localDirty);
    setMdsPubkey("V2-one");
    EXPECT_FALSE(myPersists->localDirty);

    // Another server: its base URL is stored, while the log shows the text given.
    LogCapture log(5);
    setMds("https://two.example/api/v1.0/", "V2-two");
    EXPECT_TRUE(myPersists->localDirty);
    EXPECT_EQ(myPersists->setPrefix, "https://two.example");
    EXPECT_EQ(myPersists->mdsPubkey, "V2-two");
    EXPECT_EQ(servicePublicKey(), "V2-two");
    EXPECT_TRUE(log.contains("Setting prefix=\"https://two.example/api/v1.0/\""));
    EXPECT_TRUE(log.contains("Setting pubKey=\"V2-two\""));
    EXPECT_EQ(getMyClusterEvaluator()->getClusterServerUrls().size(), 1u);
    EXPECT_EQ(getMyClusterEvaluator()->getPrefix()->baseUrl, "https://two.example");

    // A key alone.
    myPersists->localDirty = false;
    setMdsPubkey("V2-three");
    EXPECT_TRUE(myPersists->localDirty);
    EXPECT_EQ(myPersists->mdsPubkey, "V2-three");
    EXPECT_EQ(myPersists->setPrefix, "https://two.example");
}

} // namespace
