// The e-mail entry of the credential sheet: address, optional "///" and server.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "TarvexReader/Accounts/email_splitter.h"

using TarvexReader::EmailSplitterError;
using TarvexReader::splitEmailAndHost;

namespace {

struct Entry {
    const char* entry;
    const char* email;
    std::optional<std::string> host;
};

const Entry kEntries[] = {
    {"user@example.com", "user@example.com", std::nullopt},
    {"user@example.com///", "user@example.com", std::nullopt},
    {"user@example.com///keys.example.org", "user@example.com", "keys.example.org"},
    {"user@example.com///keys.example.org///more", "user@example.com", "keys.example.org"},
    {"user@example.com////keys.example.org", "user@example.com", "/keys.example.org"},
    {"user@example.com//////keys.example.org", "user@example.com", std::nullopt},
    {" User@Example.COM ///https://keys.example.org:8443/mds/", " User@Example.COM ", "https://keys.example.org:8443/mds/"},
    {"not an address", "not an address", std::nullopt},
    {"user@example.com//keys.example.org", "user@example.com//keys.example.org", std::nullopt},
};

} // namespace

TEST(EmailSplitter, AddressAndServerTable) {
    for (const Entry& e : kEntries) {
        SCOPED_TRACE(e.entry);
        const auto split = splitEmailAndHost(e.entry);
        EXPECT_EQ(split.email, e.email);
        EXPECT_EQ(split.host, e.host);
    }
}

TEST(EmailSplitter, EntryWithoutAnAddressIsImproperlyFormatted) {
    for (const char* entry : {"", "///", "///keys.example.org", "///keys.example.org///x", "//////"}) {
        SCOPED_TRACE(entry);
        EXPECT_THROW(splitEmailAndHost(entry), EmailSplitterError);
    }
}
