// The credential store against the desktop's real secret store (gnome-keyring in a D-Bus session of
// the test's own, see run_with_secret_service.sh): the store's rules, the items the keeper writes as
// secret-tool reads them, items secret-tool wrote as the keeper reads them, and the failures of a
// locked or absent store.
#include "Platform/user_defaults.h"
#include "TarvexReader/Credentials/default_server_url.h"
#include "TarvexReader/Credentials/keychain_credentials_keeper.h"
#include "TarvexReader/Credentials/keychain_error.h"
#include "keychain_failure.h"
#include "TarvexReader/Credentials/secret_service_keychain.h"
#include "keychain_contract.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

namespace TarvexReaderTest {
namespace {

constexpr char kGenericSchema[] = "org.tarvex.Reader.GenericPassword";
constexpr char kInternetSchema[] = "org.tarvex.Reader.InternetPassword";

std::string quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

struct Outcome {
    int status = -1;
    std::string output;
};

// Runs a shell command and collects its standard output.
Outcome shell(const std::string& command) {
    Outcome outcome;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return outcome;
    }
    std::array<char, 4096> buffer{};
    size_t count = 0;
    while ((count = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
        outcome.output.append(buffer.data(), count);
    }
    int raw = ::pclose(pipe);
    outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return outcome;
}

std::string attributes(const std::vector<std::pair<std::string, std::string>>& pairs) {
    std::string out;
    for (const auto& [name, value] : pairs) {
        out += " " + quoted(name) + " " + quoted(value);
    }
    return out;
}

// secret-tool's view: the secret of the item with these attributes ("" and a non-zero status when none).
Outcome lookup(const std::vector<std::pair<std::string, std::string>>& pairs) {
    return shell("secret-tool lookup" + attributes(pairs) + " 2>/dev/null");
}

void secretToolStore(const std::string& label, const std::string& secret,
                     const std::vector<std::pair<std::string, std::string>>& pairs) {
    Outcome stored = shell("printf '%s' " + quoted(secret) + " | secret-tool store --label=" + quoted(label) +
                           attributes(pairs));
    ASSERT_EQ(stored.status, 0) << "secret-tool store failed";
}

// How many items secret-tool finds with these attributes, and what it prints of them.
Outcome search(const std::vector<std::pair<std::string, std::string>>& pairs) {
    return shell("secret-tool search --all" + attributes(pairs) + " 2>&1");
}

size_t itemCount(const Outcome& found) {
    size_t count = 0;
    for (size_t at = found.output.find("\n[/"); at != std::string::npos; at = found.output.find("\n[/", at + 1)) {
        ++count;
    }
    return count + (found.output.rfind("[/", 0) == 0 ? 1 : 0);
}

void clearEverything() {
    shell(std::string("secret-tool clear xdg:schema ") + kGenericSchema + " 2>/dev/null");
    shell(std::string("secret-tool clear xdg:schema ") + kInternetSchema + " 2>/dev/null");
    shell("secret-tool clear planted-by test 2>/dev/null");
}

struct DesktopStore {
    static std::shared_ptr<Keychain> make() {
        clearEverything();
        return std::make_shared<SecretServiceKeychain>();
    }
    // Another program's item: the same attributes, but not of the application's schema.
    static void plantForeign(const std::string& server, const std::string& account, const std::string& secret) {
        secretToolStore("Browser", secret, {{"server", server}, {"account", account}, {"planted-by", "test"}});
    }
    static std::string foreignSecret(const std::string& server, const std::string& account) {
        return lookup({{"server", server}, {"account", account}, {"planted-by", "test"}}).output;
    }
    // The store keeps change times in whole seconds.
    static void letTimePass() { std::this_thread::sleep_for(std::chrono::milliseconds(1100)); }
};

INSTANTIATE_TYPED_TEST_SUITE_P(DesktopSecretStore, KeychainContract, DesktopStore);

class DesktopKeeperTest : public ::testing::Test {
protected:
    void SetUp() override { clearEverything(); }
    void TearDown() override { clearEverything(); }

    std::shared_ptr<SecretServiceKeychain> keychain = std::make_shared<SecretServiceKeychain>();
    std::shared_ptr<Platform::InMemoryUserDefaults> defaults = std::make_shared<Platform::InMemoryUserDefaults>();
    KeychainCredentialsKeeper keeper{keychain, defaults};

    static Outcome credentialItem(const std::string& server, const std::string& account) {
        return lookup({{"xdg:schema", kInternetSchema}, {"server", server}, {"account", account}});
    }
    static Outcome hostItem() { return lookup({{"xdg:schema", kGenericSchema}, {"service", "Tarvex Reader"}}); }
    static size_t credentialItems() { return itemCount(search({{"xdg:schema", kInternetSchema}})); }
    static size_t hostItems() { return itemCount(search({{"xdg:schema", kGenericSchema}})); }
};

TEST_F(DesktopKeeperTest, StoredItemsAreWhatSecretToolReads) {
    keeper.storeCredentials(Credential("ann@example.com", std::nullopt, "p\xC3\xA4ss word"));
    EXPECT_EQ(credentialItem(defaultServerURL(), "ann@example.com").output, "p\xC3\xA4ss word");
    EXPECT_EQ(hostItems(), 0u);
    Outcome shown = search({{"xdg:schema", kInternetSchema}});
    EXPECT_NE(shown.output.find("label = Tarvex Reader"), std::string::npos) << shown.output;
    EXPECT_EQ(keeper.readStoredCredentials(), Credential("ann@example.com", std::nullopt, "p\xC3\xA4ss word"));

    keeper.storeCredentials(Credential("bob@example.com", "https://keys.example.org", "second"));
    EXPECT_EQ(hostItem().output, "https://keys.example.org");
    EXPECT_EQ(credentialItem("https://keys.example.org", "bob@example.com").output, "second");
    EXPECT_EQ(credentialItems(), 1u);
    EXPECT_EQ(keeper.readStoredCredentials(), Credential("bob@example.com", "https://keys.example.org", "second"));

    // The default server given as a custom one: two items, read back as no custom server.
    keeper.storeCredentials(Credential("cy@example.com", defaultServerURL(), "third"));
    EXPECT_EQ(hostItem().output, defaultServerURL());
    EXPECT_EQ(credentialItems(), 1u);
    EXPECT_EQ(keeper.readStoredCredentials(), Credential("cy@example.com", std::nullopt, "third"));

    keeper.removeStoredCredentials();
    EXPECT_EQ(credentialItems(), 0u);
    EXPECT_EQ(hostItems(), 0u);
    keeper.removeStoredCredentials();
    EXPECT_EQ(failureOf([&] { keeper.readStoredCredentials(); }), KeychainError::noPassword());
}

// The application run against another server (--server, as the demo does) for the scope's life.
class StartedServer {
public:
    explicit StartedServer(const std::string& url) { setStartedServerURL(url); }
    ~StartedServer() { setStartedServerURL(std::nullopt); }
    StartedServer(const StartedServer&) = delete;
    StartedServer& operator=(const StartedServer&) = delete;
};

// A sign-in without a server of its own belongs to the server the application was started with: it is
// stored under that server and offered only while the application runs against it. An item of the
// built-in server, as earlier versions stored every such sign-in, stays offered there and only there.
TEST_F(DesktopKeeperTest, ASignInIsOfferedOnlyForTheServerItWasUsedWith) {
    const std::string demo = "https://127.0.0.1:8443/mds/";
    StartedServer started(demo);
    EXPECT_EQ(startedServerURL(), demo);
    keeper.storeCredentials(Credential("ann@example.com", std::nullopt, "demo password"));
    EXPECT_EQ(credentialItem(demo, "ann@example.com").output, "demo password");
    EXPECT_EQ(credentialItems(), 1u);
    EXPECT_EQ(hostItems(), 0u);
    EXPECT_EQ(keeper.readStoredCredentials(), Credential("ann@example.com", std::nullopt, "demo password"));

    // Started without --server: the demo's password is not offered to the built-in server.
    setStartedServerURL(std::nullopt);
    EXPECT_EQ(startedServerURL(), defaultServerURL());
    EXPECT_EQ(failureOf([&] { keeper.readStoredCredentials(); }), KeychainError::noPassword());

    // An item of the built-in server, as an earlier version left it.
    secretToolStore("Tarvex Reader", "built-in password",
                    {{"xdg:schema", kInternetSchema}, {"server", defaultServerURL()}, {"account", "bob@example.com"}});
    EXPECT_EQ(keeper.readStoredCredentials(), Credential("bob@example.com", std::nullopt, "built-in password"));
    // The built-in server named at start-up is the built-in server.
    setStartedServerURL(defaultServerURL() + "/");
    EXPECT_EQ(keeper.readStoredCredentials(), Credential("bob@example.com", std::nullopt, "built-in password"));

    // Back on the demo's server its own sign-in is offered, never the built-in server's; a third server
    // gets neither.
    setStartedServerURL(demo);
    EXPECT_EQ(keeper.readStoredCredentials(), Credential("ann@example.com", std::nullopt, "demo password"));
    setStartedServerURL(std::string("https://keys.example.org/mds/"));
    EXPECT_EQ(failureOf([&] { keeper.readStoredCredentials(); }), KeychainError::noPassword());

    // A removal acts on the started server's sign-in only.
    setStartedServerURL(demo);
    keeper.removeStoredCredentials();
    EXPECT_EQ(credentialItems(), 1u);
    EXPECT_EQ(credentialItem(defaultServerURL(), "bob@example.com").output, "built-in password");
}

TEST_F(DesktopKeeperTest, ItemsSecretToolWroteAreReadAndRemoved) {
    secretToolStore("Tarvex Reader", "https://keys.example.org", {{"xdg:schema", kGenericSchema}, {"service", "Tarvex Reader"}});
    secretToolStore("Tarvex Reader", "typed",
                    {{"xdg:schema", kInternetSchema}, {"server", "https://keys.example.org"}, {"account", "ann@example.com"}});
    EXPECT_EQ(keeper.readStoredCredentials(), Credential("ann@example.com", "https://keys.example.org", "typed"));
    keeper.removeStoredCredentials();
    EXPECT_EQ(credentialItems() + hostItems(), 0u);

    // A password that is not UTF-8 text.
    secretToolStore("Tarvex Reader", "\xFF\xFE",
                    {{"xdg:schema", kInternetSchema}, {"server", defaultServerURL()}, {"account", "ann@example.com"}});
    EXPECT_EQ(failureOf([&] { keeper.readStoredCredentials(); }), KeychainError::unexpectedPasswordData());
    keeper.removeStoredCredentials();
    EXPECT_EQ(credentialItems(), 0u);
}

TEST_F(DesktopKeeperTest, AnotherProgramsPasswordForTheSameServerIsLeftAlone) {
    DesktopStore::plantForeign(defaultServerURL(), "ann@example.com", "theirs");
    EXPECT_EQ(failureOf([&] { keeper.readStoredCredentials(); }), KeychainError::noPassword());
    keeper.storeCredentials(Credential("ann@example.com", std::nullopt, "mine"));
    EXPECT_EQ(keeper.readStoredCredentials(), Credential("ann@example.com", std::nullopt, "mine"));
    keeper.removeStoredCredentials();
    EXPECT_EQ(DesktopStore::foreignSecret(defaultServerURL(), "ann@example.com"), "theirs");
}

TEST_F(DesktopKeeperTest, AccountUpdatesWriteOnlyWhenRemembered) {
    const Credential credential("ann@example.com", "https://keys.example.org", "pw");
    keeper.updateAccount(credential);
    EXPECT_EQ(credentialItems() + hostItems(), 0u);
    defaults->setBool(true, kRememberCredentialsKey);
    keeper.updateAccount(credential);
    EXPECT_EQ(credentialItem("https://keys.example.org", "ann@example.com").output, "pw");
    EXPECT_EQ(hostItem().output, "https://keys.example.org");
}

TEST_F(DesktopKeeperTest, CopiesOnSeveralThreadsReadTheSameSignIn) {
    keeper.storeCredentials(Credential("ann@example.com", "https://keys.example.org", "pw"));
    std::vector<std::thread> threads;
    std::vector<int> matches(4, 0);
    for (size_t t = 0; t < matches.size(); ++t) {
        threads.emplace_back([copy = keeper, &count = matches[t]]() mutable {
            for (int i = 0; i < 5; ++i) {
                try {
                    count += copy.readStoredCredentials() == Credential("ann@example.com", "https://keys.example.org", "pw");
                } catch (const KeychainError&) {
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(matches, std::vector<int>(4, 5));
}

// Runs last in this program: the login keyring stays locked afterwards.
TEST_F(DesktopKeeperTest, ZLockedStoreFailsReadsAndRemovalsInsteadOfReportingNothingStored) {
    keeper.storeCredentials(Credential("ann@example.com", "https://keys.example.org", "pw"));
    Outcome locked = shell("dbus-send --session --dest=org.freedesktop.secrets --print-reply /org/freedesktop/secrets "
                           "org.freedesktop.Secret.Service.Lock array:objpath:/org/freedesktop/secrets/collection/login "
                           ">/dev/null 2>&1");
    ASSERT_EQ(locked.status, 0);
    // No display: the store's unlock prompt cannot be shown, so the items stay locked.
    EXPECT_EQ(failureOf([&] { keeper.readStoredCredentials(); }),
              KeychainError::unhandledError(kKeychainInteractionNotAllowed));
    EXPECT_EQ(failureOf([&] { keeper.removeStoredCredentials(); }),
              KeychainError::unhandledError(kKeychainInteractionNotAllowed));
    EXPECT_EQ(hostItems(), 1u);
    EXPECT_EQ(credentialItems(), 1u);
}

// Run in a process whose session bus does not exist (see CMakeLists.txt).
TEST(SecretServiceAbsent, EveryCallAnswersThatNoStoreIsAvailable) {
    if (std::getenv("VX_EXPECT_NO_SECRET_STORE") == nullptr) {
        GTEST_SKIP() << "runs only without a session bus";
    }
    SecretServiceKeychain keychain;
    KeychainQuery query = lookUp(KeychainItemClass::internetPassword);
    KeychainResult result;
    EXPECT_EQ(keychain.copyMatching(query, &result), kKeychainNotAvailable);
    EXPECT_EQ(keychain.add(internetItem("https://a.example/mds", "ann@example.com", "pw")), kKeychainNotAvailable);
    EXPECT_EQ(keychain.remove(query), kKeychainNotAvailable);

    KeychainCredentialsKeeper keeper(std::make_shared<SecretServiceKeychain>(),
                                     std::make_shared<Platform::InMemoryUserDefaults>());
    try {
        keeper.removeStoredCredentials();
        ADD_FAILURE() << "a removal without a store reported success";
    } catch (const KeychainError& error) {
        EXPECT_EQ(error, KeychainError::unhandledError(kKeychainNotAvailable));
    }
}

} // namespace
} // namespace TarvexReaderTest
