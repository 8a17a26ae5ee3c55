// An in-memory secret store with the rules of `TarvexReader::Keychain` (see keychain.h), for unit
// tests: items of other programs can be planted, a call can be made to fail once with a chosen
// status, and the number of secrets handed out is counted.
#pragma once

#include "TarvexReader/Credentials/keychain.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace TarvexReaderTest {

using namespace TarvexReader;

class InMemoryKeychain : public Keychain {
public:
    enum class Call { copyMatching, add, remove };

    struct StoredItem {
        KeychainItemClass itemClass = KeychainItemClass::genericPassword;
        std::optional<std::string> service;
        std::optional<std::string> server;
        std::optional<std::string> account;
        std::string label;
        SecretBytes data;
        bool foreign = false;
        std::uint64_t stamp = 0;
    };

    KeychainStatus copyMatching(const KeychainQuery& query, KeychainResult* result) override {
        std::lock_guard lock(mutex_);
        if (auto failure = takeFailure(Call::copyMatching, query)) {
            return *failure;
        }
        if (!usable(query)) {
            return kKeychainBadParameter;
        }
        std::vector<const StoredItem*> found = matches(query);
        if (found.empty()) {
            return kKeychainItemNotFound;
        }
        KeychainResult answer;
        answer.isList = query.matchLimit == KeychainMatchLimit::all;
        size_t count = answer.isList ? found.size() : 1;
        for (size_t i = 0; i < count; ++i) {
            const StoredItem& stored = *found[i];
            KeychainItem item;
            item.itemClass = stored.itemClass;
            if (query.returnAttributes) {
                item.service = stored.service;
                item.server = stored.server;
                item.account = stored.account;
                item.label = stored.label;
            }
            if (query.returnData) {
                item.valueData = stored.data;
                ++secretsHandedOut_;
            }
            answer.items.push_back(std::move(item));
        }
        if (result != nullptr) {
            *result = std::move(answer);
        }
        return kKeychainSuccess;
    }

    KeychainStatus add(const KeychainQuery& attributes) override {
        std::lock_guard lock(mutex_);
        if (auto failure = takeFailure(Call::add, attributes)) {
            return *failure;
        }
        if (!usable(attributes)) {
            return kKeychainBadParameter;
        }
        auto text = [](const std::optional<std::string>& value) { return value.value_or(std::string()); };
        for (const StoredItem& item : items_) {
            if (!item.foreign && item.itemClass == attributes.itemClass &&
                text(item.service) == text(attributes.service) && text(item.server) == text(attributes.server) &&
                text(item.account) == text(attributes.account)) {
                return kKeychainDuplicateItem;
            }
        }
        StoredItem item;
        item.itemClass = attributes.itemClass;
        item.service = attributes.service;
        item.server = attributes.server;
        item.account = attributes.account;
        item.label = attributes.label.value_or(attributes.itemClass == KeychainItemClass::genericPassword
                                                   ? text(attributes.service)
                                                   : text(attributes.server));
        if (attributes.valueData) {
            item.data = *attributes.valueData;
        }
        item.stamp = ++clock_;
        items_.push_back(std::move(item));
        return kKeychainSuccess;
    }

    KeychainStatus remove(const KeychainQuery& query) override {
        std::lock_guard lock(mutex_);
        if (auto failure = takeFailure(Call::remove, query)) {
            return *failure;
        }
        if (!usable(query)) {
            return kKeychainBadParameter;
        }
        auto before = items_.size();
        std::erase_if(items_, [&](const StoredItem& item) { return matchesItem(query, item); });
        return items_.size() == before ? kKeychainItemNotFound : kKeychainSuccess;
    }

    // The next `call` on an item of `itemClass` answers `status` and changes nothing.
    void failNext(Call call, KeychainItemClass itemClass, KeychainStatus status) {
        failWhen(call, [itemClass](const KeychainQuery& query) { return query.itemClass == itemClass; }, status);
    }

    // The next `call` whose query `chosen` accepts answers `status` and changes nothing.
    void failWhen(Call call, std::function<bool(const KeychainQuery&)> chosen, KeychainStatus status) {
        std::lock_guard lock(mutex_);
        failures_.push_back({call, std::move(chosen), status});
    }

    // An item another program stored: the application must never see or remove it.
    void plantForeignItem(StoredItem item) {
        std::lock_guard lock(mutex_);
        item.foreign = true;
        item.stamp = ++clock_;
        items_.push_back(std::move(item));
    }

    // An item of the application's own, written as a store of an earlier run could have left it.
    void plantItem(StoredItem item) {
        std::lock_guard lock(mutex_);
        item.stamp = ++clock_;
        items_.push_back(std::move(item));
    }

    std::vector<StoredItem> items() const {
        std::lock_guard lock(mutex_);
        return items_;
    }

    std::vector<StoredItem> ownItems(KeychainItemClass itemClass) const {
        std::lock_guard lock(mutex_);
        std::vector<StoredItem> own;
        for (const StoredItem& item : items_) {
            if (!item.foreign && item.itemClass == itemClass) {
                own.push_back(item);
            }
        }
        return own;
    }

    int secretsHandedOut() const {
        std::lock_guard lock(mutex_);
        return secretsHandedOut_;
    }

private:
    struct Failure {
        Call call;
        std::function<bool(const KeychainQuery&)> chosen;
        KeychainStatus status;
    };

    std::optional<KeychainStatus> takeFailure(Call call, const KeychainQuery& query) {
        auto found = std::find_if(failures_.begin(), failures_.end(), [&](const Failure& failure) {
            return failure.call == call && failure.chosen(query);
        });
        if (found == failures_.end()) {
            return std::nullopt;
        }
        KeychainStatus status = found->status;
        failures_.erase(found);
        return status;
    }

    static bool usable(const KeychainQuery& query) {
        return query.itemClass == KeychainItemClass::genericPassword ? !query.server : !query.service;
    }

    static bool matchesItem(const KeychainQuery& query, const StoredItem& item) {
        auto same = [](const std::optional<std::string>& wanted, const std::optional<std::string>& held) {
            return !wanted || wanted == held;
        };
        return !item.foreign && item.itemClass == query.itemClass && same(query.service, item.service) &&
               same(query.server, item.server) && same(query.account, item.account) &&
               (!query.label || *query.label == item.label);
    }

    std::vector<const StoredItem*> matches(const KeychainQuery& query) const {
        std::vector<const StoredItem*> found;
        for (const StoredItem& item : items_) {
            if (matchesItem(query, item)) {
                found.push_back(&item);
            }
        }
        std::sort(found.begin(), found.end(), [](const StoredItem* a, const StoredItem* b) { return a->stamp > b->stamp; });
        return found;
    }

    mutable std::mutex mutex_;
    std::vector<StoredItem> items_;
    std::vector<Failure> failures_;
    std::uint64_t clock_ = 0;
    int secretsHandedOut_ = 0;
};

} // namespace TarvexReaderTest
