// The credential store over the in-memory secret store: what each operation leaves in the store, the
// failures it reports, and the store kept consistent when a call of the store fails.
#include "Platform/system_log.h"
#include "Platform/user_defaults.h"
#include "TarvexReader/Credentials/default_server_url.h"
#include "TarvexReader/Credentials/keychain_credentials_keeper.h"
#include "TarvexReader/Credentials/keychain_error.h"
#include "keychain_failure.h"
#include "support/in_memory_keychain.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace TarvexReaderTest {
namespace {

using Item = InMemoryKeychain::StoredItem;
using Call = InMemoryKeychain::Call;
constexpr auto kGeneric = KeychainItemClass::genericPassword;
constexpr auto kInternet = KeychainItemClass::internetPassword;

class KeeperTest : public ::testing::Test {
protected:
    std::shared_ptr<InMemoryKeychain> keychain = std::make_shared<InMemoryKeychain>();
    std::shared_ptr<Platform::InMemoryUserDefaults> defaults = std::make_shared<Platform::InMemoryUserDefaults>();
    KeychainCredentialsKeeper keeper{keychain, defaults};

    std::vector<std::string> logged;
    Platform::SystemLogSink previousSink;

    void SetUp() override {
        previousSink = Platform::setSystemLogSink([this](const std::string& line) { logged.push_back(line); });
    }
    void TearDown() override { Platform::setSystemLogSink(previousSink); }

    // The store's own items as "server account secret" and "host: <data>" lines.
    std::vector<std::string> contents() const {
        std::vector<std::string> lines;
        for (const Item& item : keychain->ownItems(kGeneric)) {
            lines.push_back("host: " + std::string(item.data.view()));
        }
        for (const Item& item : keychain->ownItems(kInternet)) {
            lines.push_back(item.server.value_or("?") + " " + item.account.value_or("?") + " " +
                            std::string(item.data.view()));
        }
        return lines;
    }
};

using Lines = std::vector<std::string>;

TEST_F(KeeperTest, ItemsWrittenForEachKindOfServerAndReadBack) {
    const std::string defaultServer = defaultServerURL();
    struct Row {
        std::optional<std::string> host;
        Lines stored;
        std::optional<std::string> hostReadBack;
    };
    const Row rows[] = {
        {std::nullopt, {defaultServer + " ann@example.com pw"}, std::nullopt},
        {"https://keys.example.org", {"host: https://keys.example.org", "https://keys.example.org ann@example.com pw"},
         "https://keys.example.org"},
        // The default server given as a custom one: both items, but it reads back as no custom server.
        {defaultServer, {"host: " + defaultServer, defaultServer + " ann@example.com pw"}, std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.host.value_or("(no host)"));
        keychain = std::make_shared<InMemoryKeychain>();
        keeper = KeychainCredentialsKeeper(keychain, defaults);
        keeper.storeCredentials(Credential("ann@example.com", row.host, "pw"));
        EXPECT_EQ(contents(), row.stored);
        for (const Item& item : keychain->ownItems(kInternet)) {
            EXPECT_EQ(item.label, "Tarvex Reader");
        }
        for (const Item& item : keychain->ownItems(kGeneric)) {
            EXPECT_EQ(item.service, "Tarvex Reader");
        }
        EXPECT_EQ(keeper.readStoredCredentials(), Credential("ann@example.com", row.hostReadBack, "pw"));
    }
}

TEST_F(KeeperTest, ASecondStoreLeavesOnlyTheNewPairAndCopiesShareTheStore) {
    keeper.storeCredentials(Credential("ann@example.com", "https://one.example", "first"));
    KeychainCredentialsKeeper copy = keeper;
    copy.storeCredentials(Credential("bob@example.com", "https://two.example", "second"));
    EXPECT_EQ(contents(), (Lines{"host: https://two.example", "https://two.example bob@example.com second"}));
    copy.storeCredentials(Credential("cy@example.com", std::nullopt, "third"));
    EXPECT_EQ(contents(), (Lines{defaultServerURL() + " cy@example.com third"}));
    EXPECT_EQ(keeper.readStoredCredentials(), Credential("cy@example.com", std::nullopt, "third"));
}

TEST_F(KeeperTest, RemovalDeletesBothItemsAndSucceedsWhenNothingIsStored) {
    keeper.storeCredentials(Credential("ann@example.com", "https://one.example", "pw"));
    keeper.removeStoredCredentials();
    EXPECT_TRUE(contents().empty());
    keeper.removeStoredCredentials();
    EXPECT_TRUE(contents().empty());
    EXPECT_EQ(failureOf([&] { keeper.readStoredCredentials(); }), KeychainError::noPassword());
}

TEST_F(KeeperTest, AHostItemWithoutItsCredentialItemReadsAsNoPasswordAndIsRemoved) {
    keychain->plantItem({kGeneric, "Tarvex Reader", {}, {}, "Tarvex Reader", SecretBytes("https://one.example")});
    // A credential of the default server is not taken for the custom server's.
    keychain->plantItem({kInternet, {}, defaultServerURL(), "ann@example.com", "Tarvex Reader", SecretBytes("pw")});
    EXPECT_EQ(failureOf([&] { keeper.readStoredCredentials(); }), KeychainError::noPassword());
    keeper.removeStoredCredentials();
    EXPECT_EQ(contents(), (Lines{defaultServerURL() + " ann@example.com pw"}));
}

TEST_F(KeeperTest, AHostItemThatCannotBeDeletedFailsTheRemovalAndTheCredentialItemStays) {
    keeper.storeCredentials(Credential("ann@example.com", "https://one.example", "pw"));
    keychain->failNext(Call::remove, kGeneric, kKeychainInteractionNotAllowed);
    EXPECT_EQ(failureOf([&] { keeper.removeStoredCredentials(); }),
              KeychainError::unhandledError(kKeychainInteractionNotAllowed));
    EXPECT_EQ(contents(), (Lines{"host: https://one.example", "https://one.example ann@example.com pw"}));
    // And a store, which removes first, fails the same way without writing anything.
    keychain->failNext(Call::remove, kGeneric, kKeychainInteractionNotAllowed);
    EXPECT_THROW(keeper.storeCredentials(Credential("bob@example.com", std::nullopt, "x")), KeychainError);
    EXPECT_EQ(contents(), (Lines{"host: https://one.example", "https://one.example ann@example.com pw"}));
}

TEST_F(KeeperTest, AccountUpdatesStoreOnlyWhenTheUserChoseToRemember) {
    const Credential credential("ann@example.com", "https://one.example", "pw");
    keeper.updateAccount(credential);
    EXPECT_TRUE(contents().empty());
    defaults->setBool(false, kRememberCredentialsKey);
    keeper.updateAccount(credential);
    EXPECT_TRUE(contents().empty());
    defaults->setBool(true, kRememberCredentialsKey);
    keeper.updateAccount(credential);
    EXPECT_EQ(contents(), (Lines{"host: https://one.example", "https://one.example ann@example.com pw"}));
    // A second update of the same sign-in (the sheet stores it again) still leaves one pair.
    keeper.updateAccount(credential);
    keeper.storeCredentials(credential);
    EXPECT_EQ(contents().size(), 2u);
    EXPECT_TRUE(logged.empty());
}

TEST_F(KeeperTest, AFailedAccountUpdateIsLoggedAndNotReported) {
    defaults->setBool(true, kRememberCredentialsKey);
    keychain->failNext(Call::add, kInternet, kKeychainInteractionNotAllowed);
    EXPECT_NO_THROW(keeper.updateAccount(Credential("ann@example.com", std::nullopt, "pw")));
    EXPECT_EQ(logged, (Lines{"Cannot store credentials: unhandledError(status: -25308)"}));
    EXPECT_TRUE(contents().empty());
}

// Statuses of the store as the item operations report them.
TEST_F(KeeperTest, ItemOperationsMapTheStoreStatuses) {
    GenericPasswordKeeper hosts(keychain);
    InternetPasswordKeeper credentials(keychain);
    const std::string server = "https://one.example";
    struct Row {
        const char* what;
        std::function<void()> setUp;
        std::function<void()> operation;
        KeychainError expected;
    };
    const Row rows[] = {
        {"host read, nothing stored", [] {}, [&] { (void)hosts.readStoredHost(); }, KeychainError::noPassword()},
        {"host read, store locked", [&] { keychain->failNext(Call::copyMatching, kGeneric, kKeychainInteractionNotAllowed); },
         [&] { (void)hosts.readStoredHost(); }, KeychainError::unhandledError(kKeychainInteractionNotAllowed)},
        {"host read, data not UTF-8",
         [&] { keychain->plantItem({kGeneric, "Tarvex Reader", {}, {}, "Tarvex Reader", SecretBytes("\xC0\xAF")}); },
         [&] { (void)hosts.readStoredHost(); }, KeychainError::unexpectedPasswordData()},
        {"host delete, nothing stored", [] {}, [&] { hosts.deleteHostItem(); },
         KeychainError::unhandledError(kKeychainItemNotFound)},
        {"host add, one stored", [&] { hosts.addHostItem("https://a.example"); }, [&] { hosts.addHostItem(server); },
         KeychainError::unhandledError(kKeychainDuplicateItem)},
        {"credential read, nothing stored", [] {}, [&] { (void)credentials.readStoredCredential(server); },
         KeychainError::noPassword()},
        {"credential read, store unavailable",
         [&] { keychain->failNext(Call::copyMatching, kInternet, kKeychainNotAvailable); },
         [&] { (void)credentials.readStoredCredential(server); }, KeychainError::unhandledError(kKeychainNotAvailable)},
        {"credential read, password not UTF-8",
         [&] { keychain->plantItem({kInternet, {}, server, "ann@example.com", "Tarvex Reader", SecretBytes("\xED\xA0\x80")}); },
         [&] { (void)credentials.readStoredCredential(server); }, KeychainError::unexpectedPasswordData()},
        {"credential read, no account",
         [&] { keychain->plantItem({kInternet, {}, server, {}, "Tarvex Reader", SecretBytes("pw")}); },
         [&] { (void)credentials.readStoredCredential(server); }, KeychainError::unexpectedPasswordData()},
        {"credential delete, nothing stored", [] {}, [&] { credentials.deleteCredentialItem(server); },
         KeychainError::unhandledError(kKeychainItemNotFound)},
        {"credential add, same server and account stored",
         [&] { credentials.addCredentialItem(Credential("ann@example.com", server, "old")); },
         [&] { credentials.addCredentialItem(Credential("ann@example.com", server, "new")); },
         KeychainError::unhandledError(kKeychainDuplicateItem)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        keychain = std::make_shared<InMemoryKeychain>();
        hosts = GenericPasswordKeeper(keychain);
        credentials = InternetPasswordKeeper(keychain);
        row.setUp();
        KeychainError error = failureOf(row.operation);
        EXPECT_EQ(error, row.expected);
        EXPECT_EQ(error.description(), row.expected.description());
    }
    EXPECT_EQ(KeychainError::unhandledError(kKeychainDuplicateItem).description(), "unhandledError(status: -25299)");
    EXPECT_STREQ(KeychainError::noPassword().what(), "noPassword");
    EXPECT_EQ(KeychainError::unexpectedPasswordData().description(), "unexpectedPasswordData");
}

TEST_F(KeeperTest, AStoreThatFailsPartWayKeepsThePreviousSignIn) {
    const Lines previous{"host: https://one.example", "https://one.example ann@example.com old"};
    auto newServerLookUp = [](const KeychainQuery& query) {
        return query.server == "https://two.example" && !query.returnData;
    };
    struct Row {
        const char* what;
        std::function<void(InMemoryKeychain&)> fail;
        std::optional<std::string> newHost;
    };
    const Row rows[] = {
        {"the credential item is refused",
         [](InMemoryKeychain& store) { store.failNext(Call::add, kInternet, kKeychainInteractionNotAllowed); },
         std::nullopt},
        {"the host item is refused",
         [](InMemoryKeychain& store) { store.failNext(Call::add, kGeneric, kKeychainInteractionNotAllowed); },
         "https://two.example"},
        {"the new server's earlier item cannot be looked up",
         [&](InMemoryKeychain& store) { store.failWhen(Call::copyMatching, newServerLookUp, kKeychainInteractionNotAllowed); },
         "https://two.example"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        keychain = std::make_shared<InMemoryKeychain>();
        keeper = KeychainCredentialsKeeper(keychain, defaults);
        keeper.storeCredentials(Credential("ann@example.com", "https://one.example", "old"));
        row.fail(*keychain);
        EXPECT_EQ(failureOf([&] { keeper.storeCredentials(Credential("bob@example.com", row.newHost, "new")); }),
                  KeychainError::unhandledError(kKeychainInteractionNotAllowed));
        EXPECT_EQ(contents(), previous);
        EXPECT_EQ(keeper.readStoredCredentials(), Credential("ann@example.com", "https://one.example", "old"));
    }
}

TEST_F(KeeperTest, ARemovalThatCannotDeleteTheCredentialItemPutsTheHostItemBack) {
    const Lines stored{"host: https://one.example", "https://one.example ann@example.com pw"};
    struct Row {
        const char* what;
        Call call;
    };
    for (const Row& row : {Row{"the credential item cannot be looked up", Call::copyMatching},
                           Row{"the credential item cannot be deleted", Call::remove}}) {
        SCOPED_TRACE(row.what);
        keychain = std::make_shared<InMemoryKeychain>();
        keeper = KeychainCredentialsKeeper(keychain, defaults);
        keeper.storeCredentials(Credential("ann@example.com", "https://one.example", "pw"));
        keychain->failNext(row.call, kInternet, kKeychainInteractionNotAllowed);
        // The failure is reported, not taken for "nothing was stored".
        EXPECT_EQ(failureOf([&] { keeper.removeStoredCredentials(); }),
                  KeychainError::unhandledError(kKeychainInteractionNotAllowed));
        EXPECT_EQ(contents(), stored);
        keeper.removeStoredCredentials();
        EXPECT_TRUE(contents().empty());
    }
}

TEST_F(KeeperTest, AStoreThatCannotBeReadIsReportedNotTakenForNothingStored) {
    keeper.storeCredentials(Credential("ann@example.com", "https://one.example", "pw"));
    keychain->failNext(Call::copyMatching, kGeneric, kKeychainInteractionNotAllowed);
    EXPECT_EQ(failureOf([&] { keeper.readStoredCredentials(); }),
              KeychainError::unhandledError(kKeychainInteractionNotAllowed));
    keychain->failNext(Call::copyMatching, kGeneric, kKeychainNotAvailable);
    EXPECT_EQ(failureOf([&] { keeper.removeStoredCredentials(); }), KeychainError::unhandledError(kKeychainNotAvailable));
    EXPECT_EQ(contents(), (Lines{"host: https://one.example", "https://one.example ann@example.com pw"}));
    // A host item whose data is not text still falls back to the default server's credential.
    keychain = std::make_shared<InMemoryKeychain>();
    keeper = KeychainCredentialsKeeper(keychain, defaults);
    keychain->plantItem({kGeneric, "Tarvex Reader", {}, {}, "Tarvex Reader", SecretBytes("\xFF")});
    keychain->plantItem({kInternet, {}, defaultServerURL(), "ann@example.com", "Tarvex Reader", SecretBytes("pw")});
    EXPECT_EQ(keeper.readStoredCredentials(), Credential("ann@example.com", std::nullopt, "pw"));
}

TEST_F(KeeperTest, AnUnreadableHostItemIsRemovedSoLaterStoresWork) {
    keychain->plantItem({kGeneric, "Tarvex Reader", {}, {}, "Tarvex Reader", SecretBytes("\xFF")});
    keychain->plantItem({kInternet, {}, defaultServerURL(), "ann@example.com", "Tarvex Reader", SecretBytes("pw")});
    keeper.removeStoredCredentials();
    EXPECT_TRUE(contents().empty());

    keychain->plantItem({kGeneric, "Tarvex Reader", {}, {}, "Tarvex Reader", SecretBytes("\xFF")});
    keeper.storeCredentials(Credential("bob@example.com", "https://two.example", "new"));
    EXPECT_EQ(contents(), (Lines{"host: https://two.example", "https://two.example bob@example.com new"}));
}

TEST_F(KeeperTest, AnEarlierItemForTheNewServerIsReplacedSoTheReadIsNotAmbiguous) {
    // Left by a run that ended between writing the credential item and the host item.
    keychain->plantItem({kInternet, {}, "https://two.example", "old@example.com", "Tarvex Reader", SecretBytes("stale")});
    keeper.storeCredentials(Credential("bob@example.com", "https://two.example", "new"));
    EXPECT_EQ(contents(), (Lines{"host: https://two.example", "https://two.example bob@example.com new"}));
    // The same account too: it would otherwise be refused as a duplicate.
    keychain->plantItem({kInternet, {}, defaultServerURL(), "cy@example.com", "Tarvex Reader", SecretBytes("stale")});
    keeper.storeCredentials(Credential("cy@example.com", std::nullopt, "fresh"));
    EXPECT_EQ(keeper.readStoredCredentials(), Credential("cy@example.com", std::nullopt, "fresh"));
    EXPECT_EQ(contents().size(), 1u);
}

TEST_F(KeeperTest, OtherProgramsItemsForTheSameServerAreNeitherReadNorRemoved) {
    keychain->plantForeignItem({kInternet, {}, defaultServerURL(), "ann@example.com", "Browser", SecretBytes("theirs")});
    keychain->plantForeignItem({kGeneric, "Tarvex Reader", {}, {}, "Tarvex Reader", SecretBytes("https://evil.example")});
    EXPECT_EQ(failureOf([&] { keeper.readStoredCredentials(); }), KeychainError::noPassword());
    keeper.storeCredentials(Credential("ann@example.com", std::nullopt, "mine"));
    EXPECT_EQ(keeper.readStoredCredentials(), Credential("ann@example.com", std::nullopt, "mine"));
    keeper.removeStoredCredentials();
    EXPECT_EQ(keychain->items().size(), 2u);
}

TEST_F(KeeperTest, RemovalFindsTheItemsWithoutLoadingTheirSecrets) {
    keeper.storeCredentials(Credential("ann@example.com", "https://one.example", "pw"));
    int before = keychain->secretsHandedOut();
    keeper.removeStoredCredentials();
    // The host item's data is the server name, which the removal needs; the password is never loaded.
    EXPECT_EQ(keychain->secretsHandedOut() - before, 1);
    EXPECT_TRUE(contents().empty());
}

TEST(CredentialValues, TheDefaultServerIsTheEndpointWithMdsAppended) {
    EXPECT_EQ(defaultServerURL(), "https://mds.tarvex.example/mds");
    EXPECT_EQ(&defaultServerURL(), &defaultServerURL());
}

} // namespace
} // namespace TarvexReaderTest
