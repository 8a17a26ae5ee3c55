// The text that carries an e-mail address and a server: split at every "///", it names another server
// only when it splits into exactly two parts; the address is the first part, the server the last.
#include <gtest/gtest.h>

#include "Vorlane/Account/email_with_host.h"

namespace {

TEST(EmailWithHost, SplitsAtEverySeparator) {
    struct SplitCase {
        const char* text;
        bool usesOtherHost;
        const char* email;
        const char* host;
    };
    const SplitCase cases[] = {
        {"x@example.test///keys.example.test", true, "x@example.test", "keys.example.test"},
        {"x@example.test", false, "x@example.test", "x@example.test"},
        {"x///y///z", false, "x", "z"},
        {"x//y", false, "x//y", "x//y"},
        {"///y", true, "", "y"},
        {"x////y", true, "x", "/y"},
    };
    for (const SplitCase& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(VorlaneBridge::Email::usesOtherHost(c.text), c.usesOtherHost);
        EXPECT_EQ(VorlaneBridge::Email::email(c.text), c.email);
        EXPECT_EQ(VorlaneBridge::Email::host(c.text), c.host);
    }
}

} // namespace
