#include "vxmeta/foundation/exception.h"

#include <gtest/gtest.h>

#include "vxmeta/foundation/constants.h"

using namespace VxMeta;

namespace {

struct Text {
    const char* value;
    const char* expected;
};

TEST(Constants, CategoryAndReasonTextsByteForByte) {
    const Text texts[] = {
        {VXMECAT_INVALID_SIGNATURE, "Invalid Signature"},
        {VXMECAT_COMMUNICATION_ERROR, "Communication Error"},
        {VXMECAT_PROTOCOL, "Server Protocol Violation"},
        {VXMECAT_HTTP, "HTTP Error"},
        {VXMECAT_INTERNAL, "Internal Error"},
        {VXMECAT_NOTFOUND, "Not Found Error"},
        {VXMECAT_PASSWORD, "Password Error"},
        {VXMECAT_CLIENT, "Client Error"},
        {VXMECAT_CLIENT_REFRESH, "Client Refresh"},
        {VXMECAT_UPGRADE, "Upgrade Error"},
        {VXMECAT_FORCEDUPGRADE, "Forced Upgrade"},
        {VXMECAT_MFA_REQUIRED, "MFA Required"},
        {VXMECAT_MFA_TOKEN_REQUIRED, "MFA Token Required"},
        {VXMECAT_MFA_TOKEN_INVALID, "MFA Token Invalid"},
        {VXMECAT_MFA_DENIED, "MFA Denied"},
        {VXMECAT_MFA_PAIRING_REQUIRED, "MFA Pairing Required"},
        {VXMECAT_MFA_CERTIFICATE_INVALID, "MFA Certificate Invalid"},
        {VXMECAT_DEVICE_NOT_ALLOWED, "Device Not Allowed"},
        {VXMECAT_ACCOUNT_DISABLED, "Account Disabled"},
        {VXMECAT_ISOLATED_MODE, "Isolated Mode"},
        {VXMECAT_NOT_MANAGED, "Not Managed"},
        {VXMECAT_UNAUTHORIZED_SERVER, "Unauthorized Server"},
        {VXMECAT_LOGIN_REQUIRED, "Login Required"},
        {VXMECAT_MIGRATION_REQUIRED, "Migration Required"},
        {VXMECAT_ALREADY_MIGRATED, "Already Migrated"},
        {VXMECAT_MIGRATION_MISMATCH, "Migration Mismatch"},
        {VXMECAT_INVALID_METADATA, "Invalid Metadata"},
        {VXMECAT_POLICY_VIOLATION, "Policy Violation"},
        {VXMECAT_KEY_SERVER, "Key Server"},
        {VXMECAT_AGGREGATE_ERROR_LIST, "Aggregate Error List"},
        {VXMEREASON_UPGRADE, "Upgrade"},
        {VXMEREASON_CREDENTIALS, "Incorrect Credentials"},
        {VXMEREASON_MFA_REQUIRED, "MFA Required"},
        {VXMEREASON_MFA_TOKEN_REQUIRED, "MFA Token Required"},
        {VXMEREASON_MFA_TOKEN_INVALID, "MFA Token Invalid"},
        {VXMEREASON_MFA_DENIED, "MFA Denied"},
        {VXMEREASON_MFA_TIMEOUT, "MFA Timeout"},
        {VXMEREASON_MFA_PAIRING_REQUIRED, "MFA Pairing Required"},
        {VXMEREASON_MFA_CERTIFICATE_INVALID, "MFA Certificate Invalid"},
        {VXMEREASON_REVISION, "Revision"},
        {VXMEREASON_NO_RIGHT, "No Right"},
        {VXMEREASON_DENIED, "Denied"},
        {VXMEREASON_NOT_IN_TEAM, "Not in team"},
        {VXMEREASON_TEAM_NOT_FOUND, "TeamNotFound"},
        {VXMEREASON_ACCOUNT_DISABLED, "Account Disabled"},
        {VXMEREASON_DEVICE_DISABLED, "Device Disabled"},
        {VXMEREASON_DOMAIN_NOT_FOUND, "Domain Not Found"},
        {VXMEREASON_NOT_MANAGED, "Not Managed"},
        {VXMEREASON_SEND_TO_MASTER, "Send To Master"},
        {VXMEREASON_INACTIVE_ENDPOINT, "InactiveEndpoint"},
        {VXMEREASON_GUEST_ACCOUNT, "Guest Account"},
        {VXMEREASON_GUEST_ACCOUNT_INTERNAL_ONLY, "Guest Account Internal Only"},
        {VXMEREASON_ISOLATED, "Isolated Server"},
        {SCOPE_MDS, "mds"},
        {MFA_KIND_TOTP, "TOTP"},
        {MFA_KIND_CERTIFICATE, "Certificate"},
        {MFA_ACTION_LOGIN, "login"},
        {MFA_ACTION_ENCRYPT, "encrypt"},
        {MFA_ACTION_DECRYPT, "decrypt"},
        {MFA_REQUIRED_CLIENT_VERIFICATION_FAILED, "Multi-factor authentication required."},
        {NOTIFICATION_TYPE_MFA_REQUIRED, "MFA_Required"},
        {MFA_TOTP_POLICY_MESSAGE_PROMPT_DEFAULT,
         "Your company policy requires multi-factor authentication.\n\nPlease enter your 6-digit authenticator code."},
        {MFA_CERTIFICATE_POLICY_MESSAGE_NO_PAIRS_INSTALLED_DEFAULT,
         "Your company policy requires multi-factor authentication.\n\nPlease provide your certificate. (Note: Your "
         "certificate may be on a smart card or token)"},
        {MFA_TOTP_POLICY_MESSAGE_NO_PAIRS_CAN_CREATE_DEFAULT,
         "Your company policy requires multi-factor authentication.\n\nPlease click the link below."},
        {MFA_TOTP_POLICY_MESSAGE_NO_PAIRS_CANNOT_CREATE_DEFAULT,
         "Your company policy requires multi-factor authentication.\n\nPlease login to Tarvex for Windows or macOS "
         "to setup."},
    };
    for (const Text& t : texts) EXPECT_EQ(std::string(t.value), std::string(t.expected));
}

TEST(VxMetaException, TwoArgumentFormLeavesTheRestEmpty) {
    VxMetaException e(VXMECAT_CLIENT, "Url must not be null");
    EXPECT_STREQ(e.what(), "Url must not be null");
    EXPECT_EQ(e.category, "Client Error");
    EXPECT_EQ(e.httpStatus, 0);
    EXPECT_TRUE(e.request.empty());
    EXPECT_TRUE(e.response.empty());
    EXPECT_TRUE(e.upgradeUrl.empty());
    EXPECT_TRUE(e.reason.empty());
}

TEST(VxMetaException, ReasonFormAndCopyKeepEveryMember) {
    VxMetaException e(VXMECAT_HTTP, "refused", VXMEREASON_NO_RIGHT);
    e.httpStatus = 403;
    e.request = "GET https://h/api/v1.0/x/\n";
    e.response = "{\"reason\":\"No Right\"}";
    e.upgradeUrl = "https://u";
    VxMetaException copy(e);
    EXPECT_EQ(copy.category, e.category);
    EXPECT_EQ(copy.httpStatus, 403);
    EXPECT_EQ(copy.message, "refused");
    EXPECT_EQ(copy.request, e.request);
    EXPECT_EQ(copy.response, e.response);
    EXPECT_EQ(copy.upgradeUrl, e.upgradeUrl);
    EXPECT_EQ(copy.reason, "No Right");
    copy.message = "changed";
    EXPECT_STREQ(e.what(), "refused"); // copies are independent
}

TEST(VxMetaException, SetReplacesCategoryAndMessageOnly) {
    VxMetaException e(VXMECAT_INTERNAL, "pending", "why");
    e.httpStatus = 500;
    e.request = "POST https://h/api/v1.0/a/\n{}\n";
    e.response = "body";
    e.upgradeUrl = "https://u";
    e.set(VXMECAT_HTTP, "Server error");
    EXPECT_EQ(e.category, "HTTP Error");
    EXPECT_STREQ(e.what(), "Server error");
    EXPECT_EQ(e.httpStatus, 500);
    EXPECT_EQ(e.request, "POST https://h/api/v1.0/a/\n{}\n");
    EXPECT_EQ(e.response, "body");
    EXPECT_EQ(e.upgradeUrl, "https://u");
    EXPECT_EQ(e.reason, "why");
}

TEST(VxMetaException, CaughtByReferenceAsStandardException) {
    try {
        throw VxMetaException(VXMECAT_NOTFOUND, "missing");
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "missing");
    }
}

} // namespace
