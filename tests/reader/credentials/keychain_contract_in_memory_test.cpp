#include "keychain_contract.h"
#include "support/in_memory_keychain.h"

namespace TarvexReaderTest {
namespace {

struct InMemoryStore {
    static inline std::shared_ptr<InMemoryKeychain> current;

    static std::shared_ptr<Keychain> make() {
        current = std::make_shared<InMemoryKeychain>();
        return current;
    }
    static void plantForeign(const std::string& server, const std::string& account, const std::string& secret) {
        InMemoryKeychain::StoredItem item;
        item.itemClass = KeychainItemClass::internetPassword;
        item.server = server;
        item.account = account;
        item.data = SecretBytes(secret);
        current->plantForeignItem(std::move(item));
    }
    static std::string foreignSecret(const std::string& server, const std::string& account) {
        for (const auto& item : current->items()) {
            if (item.foreign && item.server == server && item.account == account) {
                return std::string(item.data.view());
            }
        }
        return {};
    }
    static void letTimePass() {}
};

INSTANTIATE_TYPED_TEST_SUITE_P(InMemory, KeychainContract, InMemoryStore);

} // namespace
} // namespace TarvexReaderTest
