// The rules every `Keychain` keeps (keychain.h), as a typed test suite: the in-memory store of the
// unit tests and the desktop's secret store both run it, so the fake cannot drift from the real one.
// A `Store` type gives `make()` (an empty store of the application's items), `plantForeign(...)` and
// `foreignSecret(...)` (an item of another program with the same attributes), and `letTimePass()` (long
// enough for the store to tell a later change from an earlier one).
#pragma once

#include "TarvexReader/Credentials/keychain.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

namespace TarvexReaderTest {

using namespace TarvexReader;

inline KeychainQuery internetItem(const std::string& server, const std::optional<std::string>& account,
                                  const std::string& secret, const std::optional<std::string>& label = "Tarvex Reader") {
    KeychainQuery query;
    query.itemClass = KeychainItemClass::internetPassword;
    query.server = server;
    query.account = account;
    query.label = label;
    query.valueData = SecretBytes(secret);
    return query;
}

inline KeychainQuery genericItem(const std::string& service, const std::string& secret) {
    KeychainQuery query;
    query.itemClass = KeychainItemClass::genericPassword;
    query.service = service;
    query.valueData = SecretBytes(secret);
    return query;
}

inline KeychainQuery lookUp(KeychainItemClass itemClass, KeychainMatchLimit limit = KeychainMatchLimit::one) {
    KeychainQuery query;
    query.itemClass = itemClass;
    query.matchLimit = limit;
    query.returnAttributes = true;
    query.returnData = true;
    return query;
}

template <class Store>
class KeychainContract : public ::testing::Test {
protected:
    std::shared_ptr<Keychain> store = Store::make();
};

TYPED_TEST_SUITE_P(KeychainContract);

TYPED_TEST_P(KeychainContract, AnAddedItemIsReadBackWithItsAttributesLabelAndData) {
    ASSERT_EQ(this->store->add(internetItem("https://keys.example/mds", "ann@example.com", "pa55\xC3\xA9")),
              kKeychainSuccess);
    ASSERT_EQ(this->store->add(genericItem("Tarvex Reader", "https://keys.example/mds")), kKeychainSuccess);

    KeychainQuery query = lookUp(KeychainItemClass::internetPassword);
    query.server = "https://keys.example/mds";
    KeychainResult result;
    ASSERT_EQ(this->store->copyMatching(query, &result), kKeychainSuccess);
    const KeychainItem* item = result.dictionary();
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->server, "https://keys.example/mds");
    EXPECT_EQ(item->account, "ann@example.com");
    EXPECT_EQ(item->label, "Tarvex Reader");
    ASSERT_TRUE(item->valueData);
    EXPECT_EQ(item->valueData->view(), "pa55\xC3\xA9");

    KeychainQuery host = lookUp(KeychainItemClass::genericPassword, KeychainMatchLimit::unspecified);
    host.service = "Tarvex Reader";
    ASSERT_EQ(this->store->copyMatching(host, &result), kKeychainSuccess);
    ASSERT_NE(result.dictionary(), nullptr);
    EXPECT_EQ(result.dictionary()->service, "Tarvex Reader");
    EXPECT_EQ(result.dictionary()->valueData->view(), "https://keys.example/mds");

    // Without the flags the answer carries neither attributes nor data.
    KeychainQuery bare;
    bare.itemClass = KeychainItemClass::internetPassword;
    ASSERT_EQ(this->store->copyMatching(bare, &result), kKeychainSuccess);
    ASSERT_NE(result.dictionary(), nullptr);
    EXPECT_FALSE(result.dictionary()->account);
    EXPECT_FALSE(result.dictionary()->valueData);
}

TYPED_TEST_P(KeychainContract, StatusesForMissingItemsDuplicatesAndUnusableQueries) {
    KeychainQuery query = lookUp(KeychainItemClass::internetPassword);
    query.server = "https://nowhere.example/mds";
    KeychainResult result;
    EXPECT_EQ(this->store->copyMatching(query, &result), kKeychainItemNotFound);
    EXPECT_EQ(this->store->remove(query), kKeychainItemNotFound);

    ASSERT_EQ(this->store->add(internetItem("https://a.example/mds", "ann@example.com", "one")), kKeychainSuccess);
    // Same server and account, whatever the label and data: the same item.
    EXPECT_EQ(this->store->add(internetItem("https://a.example/mds", "ann@example.com", "two", "Other")),
              kKeychainDuplicateItem);
    EXPECT_EQ(this->store->add(internetItem("https://a.example/mds", "bob@example.com", "two")), kKeychainSuccess);
    ASSERT_EQ(this->store->add(genericItem("Tarvex Reader", "h")), kKeychainSuccess);
    EXPECT_EQ(this->store->add(genericItem("Tarvex Reader", "other host")), kKeychainDuplicateItem);

    KeychainQuery mixed = lookUp(KeychainItemClass::genericPassword);
    mixed.server = "https://a.example/mds";
    EXPECT_EQ(this->store->copyMatching(mixed, &result), kKeychainBadParameter);
}

TYPED_TEST_P(KeychainContract, TheNewestMatchAnswersAOneItemQueryAndDeleteRemovesEveryMatch) {
    ASSERT_EQ(this->store->add(internetItem("https://a.example/mds", "old@example.com", "1")), kKeychainSuccess);
    ASSERT_EQ(this->store->add(internetItem("https://b.example/mds", "other@example.com", "2")), kKeychainSuccess);
    TypeParam::letTimePass();
    ASSERT_EQ(this->store->add(internetItem("https://a.example/mds", "new@example.com", "3")), kKeychainSuccess);

    KeychainQuery query = lookUp(KeychainItemClass::internetPassword);
    query.server = "https://a.example/mds";
    KeychainResult result;
    ASSERT_EQ(this->store->copyMatching(query, &result), kKeychainSuccess);
    ASSERT_NE(result.dictionary(), nullptr);
    EXPECT_EQ(result.dictionary()->account, "new@example.com");

    KeychainQuery all = lookUp(KeychainItemClass::internetPassword, KeychainMatchLimit::all);
    ASSERT_EQ(this->store->copyMatching(all, &result), kKeychainSuccess);
    EXPECT_EQ(result.dictionary(), nullptr);
    EXPECT_EQ(result.items.size(), 3u);

    EXPECT_EQ(this->store->remove(query), kKeychainSuccess);
    ASSERT_EQ(this->store->copyMatching(all, &result), kKeychainSuccess);
    ASSERT_EQ(result.items.size(), 1u);
    EXPECT_EQ(result.items.front().server, "https://b.example/mds");
}

TYPED_TEST_P(KeychainContract, ItemsOfOtherProgramsAreNeverMatchedNorDeleted) {
    TypeParam::plantForeign("https://a.example/mds", "ann@example.com", "someone else's");
    KeychainQuery query = lookUp(KeychainItemClass::internetPassword);
    query.server = "https://a.example/mds";
    KeychainResult result;
    EXPECT_EQ(this->store->copyMatching(query, &result), kKeychainItemNotFound);
    EXPECT_EQ(this->store->remove(query), kKeychainItemNotFound);
    // Nor do they count as duplicates of the application's own item.
    ASSERT_EQ(this->store->add(internetItem("https://a.example/mds", "ann@example.com", "mine")), kKeychainSuccess);
    ASSERT_EQ(this->store->copyMatching(query, &result), kKeychainSuccess);
    EXPECT_EQ(result.dictionary()->valueData->view(), "mine");
    EXPECT_EQ(this->store->remove(query), kKeychainSuccess);
    EXPECT_EQ(TypeParam::foreignSecret("https://a.example/mds", "ann@example.com"), "someone else's");
}

TYPED_TEST_P(KeychainContract, ValueDataNeedNotBeText) {
    const std::string bytes("\xFF\x00\xFE", 3);
    ASSERT_EQ(this->store->add(internetItem("https://a.example/mds", "ann@example.com", bytes)), kKeychainSuccess);
    KeychainResult result;
    ASSERT_EQ(this->store->copyMatching(lookUp(KeychainItemClass::internetPassword), &result), kKeychainSuccess);
    EXPECT_EQ(result.dictionary()->valueData->view(), bytes);
}

REGISTER_TYPED_TEST_SUITE_P(KeychainContract, AnAddedItemIsReadBackWithItsAttributesLabelAndData,
                            StatusesForMissingItemsDuplicatesAndUnusableQueries,
                            TheNewestMatchAnswersAOneItemQueryAndDeleteRemovesEveryMatch,
                            ItemsOfOtherProgramsAreNeverMatchedNorDeleted, ValueDataNeedNotBeText);

} // namespace TarvexReaderTest
