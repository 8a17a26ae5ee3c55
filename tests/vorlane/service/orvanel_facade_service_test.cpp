// The managed-key facade over the API object, against the test key service: the chosen default key
// across a restart of the host, and a key renamed on the service dropping the stored choice.
#include "Vorlane/Orvanels/orvanel_facade.h"

#include <gtest/gtest.h>

#include "vorlane/service/framework_api_object.h"
#include "vxmeta/accounts/service/managed_keys_fixture.h"
#include "vxmeta/accounts/single_asset_manager.h"
#include "vxmeta/api/vorlane.h"

namespace VorlaneBridge {
namespace {

using OrvanelFacadeOnTheService = VxMeta::testing::ManagedKeysServiceTest;

TEST_F(OrvanelFacadeOnTheService, TheChoiceSurvivesARestartAndARenamedKeyDropsIt) {
    testing::frameworkWrapper();
    signInAs(person("keys@example.test"), true);
    VxMeta::SingleAssetManager made;
    made.createAsset("Plans");
    const std::string urn = made.getURN();
    VxMeta::sync(false);

    auto defaults = std::make_shared<Platform::InMemoryUserDefaults>();
    auto facade = std::make_unique<OrvanelFacade>(testing::frameworkWrapper(), defaults);
    facade->refreshFacade();
    ASSERT_NE(facade->orvanels(), nullptr);
    std::shared_ptr<const VLOrvanel> plans;
    for (const auto& key : *facade->orvanels())
        if (key->urn() == urn) plans = key;
    ASSERT_NE(plans, nullptr);
    EXPECT_EQ(plans->name(), "Plans");
    facade->setDefaultOrvanel(plans);

    // The host starts again with its user defaults.
    facade = std::make_unique<OrvanelFacade>(testing::frameworkWrapper(), defaults);
    facade->refreshFacade();
    ASSERT_NE(facade->defaultOrvanel(), nullptr);
    EXPECT_EQ(facade->defaultOrvanel()->urn(), urn);
    EXPECT_EQ(defaults->stringForKey(kTVDefaultKeyName), "Plans");

    // Renamed on the service: the next refresh forgets the choice.
    testing::frameworkWrapper()->vorlane()->changeAssetName(urn, "Old plans");
    VxMeta::sync(false);
    facade->refreshFacade();
    EXPECT_EQ(defaults->stringForKey(kTVDefaultKeyName), std::nullopt);
    EXPECT_EQ(defaults->stringForKey(kTVDefaultKeyURN), std::nullopt);
    const std::shared_ptr<const VLOrvanel> fallback = facade->defaultOrvanel();
    EXPECT_TRUE(!fallback || fallback->kind() == kTVDefaultKeyKind);
    bool renamedListed = false;
    for (const auto& key : *facade->orvanels()) renamedListed |= key->urn() == urn && key->name() == "Old plans";
    EXPECT_TRUE(renamedListed);
}

} // namespace
} // namespace VorlaneBridge
