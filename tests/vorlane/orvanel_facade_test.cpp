#include "Vorlane/Orvanels/orvanel_facade.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "vxmeta/foundation/exception.h"

namespace VorlaneBridge {
namespace {

// The user's keys as the library lists them, changed by the tests between refreshes.
struct KeyList {
    std::vector<std::pair<std::string, std::string>> keys; // name, URN
    bool fail = false;
    std::vector<bool> flags;

    OrvanelLibrary library() {
        OrvanelLibrary library;
        library.getMyFilteredAssets = [this](bool flag) {
            flags.push_back(flag);
            if (fail) throw VxMeta::VxMetaException("Communication Error", "away");
            auto list = std::make_shared<VxMeta::RecordList<VxMeta::Asset>>();
            for (const auto& [name, urn] : keys) {
                auto asset = std::make_shared<VxMeta::Asset>();
                asset->name = name;
                asset->urn = urn;
                list->push_back(asset);
            }
            return list;
        };
        return library;
    }
};

class OrvanelFacadeTest : public ::testing::Test {
protected:
    // A new facade over the same user defaults: the process started again.
    std::unique_ptr<OrvanelFacade> start() { return std::make_unique<OrvanelFacade>(nullptr, defaults, service.library()); }

    std::optional<std::string> stored(const char* key) const { return defaults->stringForKey(key); }

    static std::string nameOf(const std::shared_ptr<const VLOrvanel>& key) { return key ? key->name() : "(none)"; }

    std::shared_ptr<Platform::InMemoryUserDefaults> defaults = std::make_shared<Platform::InMemoryUserDefaults>();
    KeyList service;
};

TEST_F(OrvanelFacadeTest, WithoutAStoredChoiceTheDefaultIsTheFirstKeyOfKindDefault) {
    struct Case {
        std::vector<std::pair<std::string, std::string>> keys;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {{{"Mine", "priv-1"}, {"Team", "default-7"}, {"Other", "default-8"}}, "Team"},
        {{{"Mine", "priv-1"}, {"Whole", "default"}}, "Whole"},
        {{{"Mine", "priv-1"}, {"Near", "defaults-1"}, {"Upper", "Default-2"}}, "(none)"},
        {{}, "(none)"},
    };
    for (const Case& c : cases) {
        service.keys = c.keys;
        auto facade = start();
        EXPECT_EQ(facade->defaultOrvanel(), nullptr); // no list yet
        facade->refreshOrvanels();
        EXPECT_EQ(nameOf(facade->defaultOrvanel()), c.expected);
        EXPECT_EQ(stored(kTVDefaultKeyName), std::nullopt); // the getter writes nothing
    }
    EXPECT_EQ(service.flags, std::vector<bool>(cases.size(), false));

    // Only one of the two entries: no stored choice.
    service.keys = {{"Mine", "priv-1"}, {"Team", "default-7"}};
    defaults->setString("Mine", kTVDefaultKeyName);
    auto facade = start();
    facade->refreshOrvanels();
    EXPECT_EQ(nameOf(facade->defaultOrvanel()), "Team");
}

TEST_F(OrvanelFacadeTest, TheChosenKeyIsTheDefaultAgainAfterARestart) {
    service.keys = {{"Team", "default-7"}, {"Mine", "priv-1"}, {"Project", "proj-2"}};
    auto facade = start();
    facade->refreshFacade();
    EXPECT_EQ(nameOf(facade->defaultOrvanel()), "Team");
    facade->setDefaultOrvanel(facade->orvanels()->at(2));
    EXPECT_EQ(stored(kTVDefaultKeyName), "Project");
    EXPECT_EQ(stored(kTVDefaultKeyURN), "proj-2");

    facade = start();
    facade->refreshFacade();
    const auto chosen = facade->defaultOrvanel();
    EXPECT_EQ(nameOf(chosen), "Project");
    EXPECT_EQ(chosen, facade->orvanels()->at(2)); // the list's own key
    EXPECT_EQ(stored(kTVDefaultKeyURN), "proj-2");

    // Choosing none removes both entries.
    facade->setDefaultOrvanel(nullptr);
    EXPECT_EQ(stored(kTVDefaultKeyName), std::nullopt);
    EXPECT_EQ(stored(kTVDefaultKeyURN), std::nullopt);
    EXPECT_EQ(nameOf(facade->defaultOrvanel()), "Team");
}

TEST_F(OrvanelFacadeTest, ARenamedKeyDropsTheStoredChoice) {
    service.keys = {{"Team", "default-7"}, {"Project", "proj-2"}};
    auto facade = start();
    facade->refreshFacade();
    facade->setDefaultOrvanel(facade->orvanels()->at(1));

    service.keys = {{"Team", "default-7"}, {"Project (old)", "proj-2"}};
    facade->refreshFacade();
    EXPECT_EQ(stored(kTVDefaultKeyName), std::nullopt);
    EXPECT_EQ(stored(kTVDefaultKeyURN), std::nullopt);
    EXPECT_EQ(nameOf(facade->defaultOrvanel()), "Team");

    // The same after a restart: the stored pair names no key, so the refresh erases it.
    facade->setDefaultOrvanel(facade->orvanels()->at(1));
    service.keys = {{"Team", "default-7"}, {"Project (new)", "proj-2"}};
    facade = start();
    facade->refreshOrvanels();
    EXPECT_EQ(facade->defaultOrvanel(), nullptr); // a stored pair that matches nothing picks nothing
    EXPECT_EQ(stored(kTVDefaultKeyName), "Project (old)");
    facade->refreshDefaultOrvanel();
    EXPECT_EQ(stored(kTVDefaultKeyName), std::nullopt);
    EXPECT_EQ(nameOf(facade->defaultOrvanel()), "Team");
}

TEST_F(OrvanelFacadeTest, AFailedRefreshKeepsTheListAndUnlinkForgetsEverything) {
    service.keys = {{"Team", "default-7"}, {"Project", "proj-2"}};
    auto facade = start();
    facade->refreshFacade();
    facade->setDefaultOrvanel(facade->orvanels()->at(1));
    const auto list = facade->orvanels();

    service.fail = true;
    EXPECT_THROW(facade->refreshFacade(), VxMeta::VxMetaException);
    EXPECT_EQ(facade->orvanels(), list);
    EXPECT_EQ(nameOf(facade->defaultOrvanel()), "Project");
    EXPECT_EQ(stored(kTVDefaultKeyName), "Project");

    facade->unlink();
    ASSERT_NE(facade->orvanels(), nullptr);
    EXPECT_TRUE(facade->orvanels()->empty());
    EXPECT_EQ(stored(kTVDefaultKeyName), std::nullopt);
    EXPECT_EQ(stored(kTVDefaultKeyURN), std::nullopt);
    EXPECT_EQ(facade->defaultOrvanel(), nullptr);
    EXPECT_EQ(list->size(), 2u); // a list a reader held stays whole
}

TEST(VLOrvanel, KindDescriptionAndEqualityNeedNameAndUrn) {
    const VLOrvanel key("Team key", "default-7-x");
    EXPECT_EQ(key.kind(), "default");
    EXPECT_EQ(VLOrvanel("Plain", "plainurn").kind(), "plainurn");
    EXPECT_EQ(key.fieldDescription(), "Team key");
    EXPECT_TRUE(key.isEqualToOrvanel(VLOrvanel("Team key", "default-7-x")));
    EXPECT_FALSE(key == VLOrvanel("Other name", "default-7-x"));
    EXPECT_FALSE(key == VLOrvanel("Team key", "default-8"));
    EXPECT_EQ(key.hash(), std::hash<std::string>()("Team key") ^ std::hash<std::string>()("default-7-x"));
}

} // namespace
} // namespace VorlaneBridge
