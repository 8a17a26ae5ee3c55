#include "TarvexReader/Credentials/secret_service_keychain.h"

#include "Platform/system_log.h"

#include <libsecret/secret.h>

#include <algorithm>
#include <memory>
#include <utility>

namespace TarvexReader {
namespace {

const SecretSchema* schemaOf(KeychainItemClass itemClass) {
    // Built once, kept for the life of the process.
    static const SecretSchema* generic =
        secret_schema_new(SecretServiceKeychain::kGenericPasswordSchema, SECRET_SCHEMA_NONE, "service",
                          SECRET_SCHEMA_ATTRIBUTE_STRING, "account", SECRET_SCHEMA_ATTRIBUTE_STRING, nullptr);
    static const SecretSchema* internet =
        secret_schema_new(SecretServiceKeychain::kInternetPasswordSchema, SECRET_SCHEMA_NONE, "server",
                          SECRET_SCHEMA_ATTRIBUTE_STRING, "account", SECRET_SCHEMA_ATTRIBUTE_STRING, nullptr);
    return itemClass == KeychainItemClass::genericPassword ? generic : internet;
}

struct HashTableDeleter {
    void operator()(GHashTable* table) const { g_hash_table_unref(table); }
};
using HashTablePtr = std::unique_ptr<GHashTable, HashTableDeleter>;

struct ErrorDeleter {
    void operator()(GError* error) const { g_error_free(error); }
};
using ErrorPtr = std::unique_ptr<GError, ErrorDeleter>;

struct ListDeleter {
    void operator()(GList* list) const { g_list_free_full(list, g_object_unref); }
};
using ListPtr = std::unique_ptr<GList, ListDeleter>;

struct ValueDeleter {
    void operator()(SecretValue* value) const { secret_value_unref(value); }
};
using ValuePtr = std::unique_ptr<SecretValue, ValueDeleter>;

struct TextDeleter {
    void operator()(gchar* text) const { g_free(text); }
};
using TextPtr = std::unique_ptr<gchar, TextDeleter>;

// The status for a failure libsecret reported; its message goes to the system log.
KeychainStatus statusOf(GError* error) {
    if (error == nullptr) {
        // libsecret ends a dismissed prompt with a failure that carries no error.
        return kKeychainUserCanceled;
    }
    Platform::systemLog(std::string("Secret store: ") + error->message);
    if (error->domain == SECRET_ERROR) {
        switch (error->code) {
        case SECRET_ERROR_IS_LOCKED: return kKeychainInteractionNotAllowed;
        case SECRET_ERROR_NO_SUCH_OBJECT: return kKeychainItemNotFound;
        case SECRET_ERROR_ALREADY_EXISTS: return kKeychainDuplicateItem;
        case SECRET_ERROR_PROTOCOL: return kKeychainDecode;
        default: return kKeychainInternalComponent;
        }
    }
    if (error->domain == G_IO_ERROR) {
        return error->code == G_IO_ERROR_CANCELLED ? kKeychainUserCanceled : kKeychainNotAvailable;
    }
    if (error->domain == G_DBUS_ERROR) {
        switch (error->code) {
        case G_DBUS_ERROR_SERVICE_UNKNOWN:
        case G_DBUS_ERROR_NAME_HAS_NO_OWNER:
        case G_DBUS_ERROR_NO_SERVER:
        case G_DBUS_ERROR_SPAWN_EXEC_FAILED:
        case G_DBUS_ERROR_SPAWN_FORK_FAILED:
        case G_DBUS_ERROR_SPAWN_CHILD_EXITED:
        case G_DBUS_ERROR_SPAWN_CHILD_SIGNALED:
        case G_DBUS_ERROR_SPAWN_FAILED:
        case G_DBUS_ERROR_SPAWN_SERVICE_NOT_FOUND:
        case G_DBUS_ERROR_SPAWN_SERVICE_INVALID:
        case G_DBUS_ERROR_SPAWN_FILE_INVALID:
        case G_DBUS_ERROR_SPAWN_NO_MEMORY:
        case G_DBUS_ERROR_TIMEOUT:
        case G_DBUS_ERROR_TIMED_OUT:
        case G_DBUS_ERROR_DISCONNECTED:
        case G_DBUS_ERROR_FILE_NOT_FOUND:
            return kKeychainNotAvailable;
        default:
            return kKeychainInternalComponent;
        }
    }
    return kKeychainInternalComponent;
}

// The query's attributes as libsecret takes them; the texts stay owned by the query. False when the
// query names an attribute its class does not have.
bool attributesOf(const KeychainQuery& query, HashTablePtr& table) {
    table.reset(g_hash_table_new(g_str_hash, g_str_equal));
    auto put = [&](const char* name, const std::optional<std::string>& value) {
        if (value) {
            g_hash_table_insert(table.get(), const_cast<char*>(name), const_cast<char*>(value->c_str()));
        }
    };
    if (query.itemClass == KeychainItemClass::genericPassword) {
        if (query.server) {
            return false;
        }
        put("service", query.service);
    } else {
        if (query.service) {
            return false;
        }
        put("server", query.server);
    }
    put("account", query.account);
    return true;
}

std::optional<std::string> attributeOf(GHashTable* attributes, const char* name) {
    auto* value = static_cast<const char*>(g_hash_table_lookup(attributes, name));
    return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
}

struct Found {
    SecretRetrievable* item;
    std::string label;
    guint64 modified;
    guint64 created;
};

// The application's items that match the query, newest first.
KeychainStatus search(const KeychainQuery& query, SecretSearchFlags extraFlags, ListPtr& list,
                      std::vector<Found>& found) {
    HashTablePtr attributes;
    if (!attributesOf(query, attributes)) {
        return kKeychainBadParameter;
    }
    GError* rawError = nullptr;
    list.reset(secret_password_searchv_sync(
        schemaOf(query.itemClass), attributes.get(),
        static_cast<SecretSearchFlags>(SECRET_SEARCH_ALL | SECRET_SEARCH_UNLOCK | extraFlags), nullptr, &rawError));
    ErrorPtr error(rawError);
    if (error) {
        return statusOf(error.get());
    }
    for (GList* link = list.get(); link != nullptr; link = link->next) {
        auto* item = static_cast<SecretRetrievable*>(link->data);
        TextPtr label(secret_retrievable_get_label(item));
        std::string labelText = label ? label.get() : "";
        if (query.label && *query.label != labelText) {
            continue;
        }
        found.push_back({item, std::move(labelText), secret_retrievable_get_modified(item),
                         secret_retrievable_get_created(item)});
    }
    std::stable_sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
        return a.modified != b.modified ? a.modified > b.modified : a.created > b.created;
    });
    return found.empty() ? kKeychainItemNotFound : kKeychainSuccess;
}

KeychainStatus itemOf(const Found& found, const KeychainQuery& query, KeychainItem& out) {
    out.itemClass = query.itemClass;
    if (query.returnAttributes) {
        HashTablePtr attributes(secret_retrievable_get_attributes(found.item));
        if (!attributes) {
            return kKeychainDecode;
        }
        if (query.itemClass == KeychainItemClass::genericPassword) {
            out.service = attributeOf(attributes.get(), "service");
        } else {
            out.server = attributeOf(attributes.get(), "server");
        }
        out.account = attributeOf(attributes.get(), "account");
        out.label = found.label;
    }
    if (query.returnData) {
        GError* rawError = nullptr;
        ValuePtr value(secret_retrievable_retrieve_secret_sync(found.item, nullptr, &rawError));
        ErrorPtr error(rawError);
        if (error) {
            return statusOf(error.get());
        }
        if (!value) {
            return kKeychainDecode;
        }
        gsize length = 0;
        const gchar* bytes = secret_value_get(value.get(), &length);
        out.valueData = SecretBytes(reinterpret_cast<const std::uint8_t*>(bytes), length);
    }
    return kKeychainSuccess;
}

} // namespace

KeychainStatus SecretServiceKeychain::copyMatching(const KeychainQuery& query, KeychainResult* result) {
    ListPtr list;
    std::vector<Found> found;
    // Secrets are fetched only for the items that are answered, never for the whole search.
    if (auto status = search(query, SECRET_SEARCH_NONE, list, found); status != kKeychainSuccess) {
        return status;
    }
    KeychainResult answer;
    answer.isList = query.matchLimit == KeychainMatchLimit::all;
    size_t count = answer.isList ? found.size() : 1;
    for (size_t i = 0; i < count; ++i) {
        KeychainItem item;
        if (auto status = itemOf(found[i], query, item); status != kKeychainSuccess) {
            return status;
        }
        answer.items.push_back(std::move(item));
    }
    if (result != nullptr) {
        *result = std::move(answer);
    }
    return kKeychainSuccess;
}

KeychainStatus SecretServiceKeychain::add(const KeychainQuery& attributes) {
    // The item's identity: an attribute absent here must be absent (or empty) on a stored twin too.
    KeychainQuery identity;
    identity.itemClass = attributes.itemClass;
    identity.service = attributes.service;
    identity.server = attributes.server;
    identity.account = attributes.account;
    identity.returnAttributes = true;
    identity.matchLimit = KeychainMatchLimit::all;
    KeychainResult existing;
    auto status = copyMatching(identity, &existing);
    if (status == kKeychainSuccess) {
        auto sameIdentity = [&](const KeychainItem& item) {
            auto text = [](const std::optional<std::string>& value) { return value.value_or(std::string()); };
            return text(item.service) == text(attributes.service) && text(item.server) == text(attributes.server) &&
                   text(item.account) == text(attributes.account);
        };
        if (std::any_of(existing.items.begin(), existing.items.end(), sameIdentity)) {
            return kKeychainDuplicateItem;
        }
    } else if (status != kKeychainItemNotFound) {
        return status;
    }

    HashTablePtr table;
    if (!attributesOf(attributes, table)) {
        return kKeychainBadParameter;
    }
    std::string label = attributes.label.value_or(
        attributes.itemClass == KeychainItemClass::genericPassword ? attributes.service.value_or("")
                                                                    : attributes.server.value_or(""));
    const SecretBytes empty;
    const SecretBytes& data = attributes.valueData ? *attributes.valueData : empty;
    ValuePtr value(secret_value_new(reinterpret_cast<const gchar*>(data.data()), static_cast<gssize>(data.size()),
                                    "text/plain"));
    GError* rawError = nullptr;
    gboolean stored = secret_password_storev_binary_sync(schemaOf(attributes.itemClass), table.get(),
                                                         SECRET_COLLECTION_DEFAULT, label.c_str(), value.get(),
                                                         nullptr, &rawError);
    ErrorPtr error(rawError);
    return stored ? kKeychainSuccess : statusOf(error.get());
}

KeychainStatus SecretServiceKeychain::remove(const KeychainQuery& query) {
    ListPtr list;
    std::vector<Found> found;
    if (auto status = search(query, SECRET_SEARCH_NONE, list, found); status != kKeychainSuccess) {
        return status;
    }
    for (const Found& each : found) {
        if (!SECRET_IS_ITEM(each.item)) {
            return kKeychainInternalComponent;
        }
        GError* rawError = nullptr;
        gboolean deleted = secret_item_delete_sync(SECRET_ITEM(each.item), nullptr, &rawError);
        ErrorPtr error(rawError);
        if (!deleted) {
            return statusOf(error.get());
        }
    }
    return kKeychainSuccess;
}

} // namespace TarvexReader
