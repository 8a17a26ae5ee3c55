// The library's fixed vocabulary: failure categories, failure reasons, MFA kinds, actions and
// default prompts. Each text is compared byte for byte by callers and by the service.
#pragma once

namespace VxMeta {

// Failure categories (VxMetaException::category).
inline constexpr char VXMECAT_INVALID_SIGNATURE[] = "Invalid Signature";
inline constexpr char VXMECAT_COMMUNICATION_ERROR[] = "Communication Error";
inline constexpr char VXMECAT_PROTOCOL[] = "Server Protocol Violation";
inline constexpr char VXMECAT_HTTP[] = "HTTP Error";
inline constexpr char VXMECAT_INTERNAL[] = "Internal Error";
inline constexpr char VXMECAT_NOTFOUND[] = "Not Found Error";
inline constexpr char VXMECAT_PASSWORD[] = "Password Error";
inline constexpr char VXMECAT_CLIENT[] = "Client Error";
inline constexpr char VXMECAT_CLIENT_REFRESH[] = "Client Refresh";
inline constexpr char VXMECAT_UPGRADE[] = "Upgrade Error";
inline constexpr char VXMECAT_FORCEDUPGRADE[] = "Forced Upgrade";
inline constexpr char VXMECAT_MFA_REQUIRED[] = "MFA Required";
inline constexpr char VXMECAT_MFA_TOKEN_REQUIRED[] = "MFA Token Required";
inline constexpr char VXMECAT_MFA_TOKEN_INVALID[] = "MFA Token Invalid";
inline constexpr char VXMECAT_MFA_DENIED[] = "MFA Denied";
inline constexpr char VXMECAT_MFA_PAIRING_REQUIRED[] = "MFA Pairing Required";
inline constexpr char VXMECAT_MFA_CERTIFICATE_INVALID[] = "MFA Certificate Invalid";
inline constexpr char VXMECAT_DEVICE_NOT_ALLOWED[] = "Device Not Allowed";
inline constexpr char VXMECAT_ACCOUNT_DISABLED[] = "Account Disabled";
inline constexpr char VXMECAT_ISOLATED_MODE[] = "Isolated Mode";
inline constexpr char VXMECAT_NOT_MANAGED[] = "Not Managed";
inline constexpr char VXMECAT_UNAUTHORIZED_SERVER[] = "Unauthorized Server";
inline constexpr char VXMECAT_LOGIN_REQUIRED[] = "Login Required";
inline constexpr char VXMECAT_MIGRATION_REQUIRED[] = "Migration Required";
inline constexpr char VXMECAT_ALREADY_MIGRATED[] = "Already Migrated";
inline constexpr char VXMECAT_MIGRATION_MISMATCH[] = "Migration Mismatch";
inline constexpr char VXMECAT_INVALID_METADATA[] = "Invalid Metadata";
inline constexpr char VXMECAT_POLICY_VIOLATION[] = "Policy Violation";
inline constexpr char VXMECAT_KEY_SERVER[] = "Key Server";
inline constexpr char VXMECAT_AGGREGATE_ERROR_LIST[] = "Aggregate Error List";

// Failure reasons: sent by the service in an error reply's "reason", or raised by the library.
inline constexpr char VXMEREASON_UPGRADE[] = "Upgrade";
inline constexpr char VXMEREASON_CREDENTIALS[] = "Incorrect Credentials";
inline constexpr char VXMEREASON_MFA_REQUIRED[] = "MFA Required";
inline constexpr char VXMEREASON_MFA_TOKEN_REQUIRED[] = "MFA Token Required";
inline constexpr char VXMEREASON_MFA_TOKEN_INVALID[] = "MFA Token Invalid";
inline constexpr char VXMEREASON_MFA_DENIED[] = "MFA Denied";
inline constexpr char VXMEREASON_MFA_TIMEOUT[] = "MFA Timeout";
inline constexpr char VXMEREASON_MFA_PAIRING_REQUIRED[] = "MFA Pairing Required";
inline constexpr char VXMEREASON_MFA_CERTIFICATE_INVALID[] = "MFA Certificate Invalid";
inline constexpr char VXMEREASON_REVISION[] = "Revision";
inline constexpr char VXMEREASON_NO_RIGHT[] = "No Right";
inline constexpr char VXMEREASON_DENIED[] = "Denied";
inline constexpr char VXMEREASON_NOT_IN_TEAM[] = "Not in team";
inline constexpr char VXMEREASON_TEAM_NOT_FOUND[] = "TeamNotFound";
inline constexpr char VXMEREASON_ACCOUNT_DISABLED[] = "Account Disabled";
inline constexpr char VXMEREASON_DEVICE_DISABLED[] = "Device Disabled";
inline constexpr char VXMEREASON_DOMAIN_NOT_FOUND[] = "Domain Not Found";
inline constexpr char VXMEREASON_NOT_MANAGED[] = "Not Managed";
inline constexpr char VXMEREASON_SEND_TO_MASTER[] = "Send To Master";
inline constexpr char VXMEREASON_INACTIVE_ENDPOINT[] = "InactiveEndpoint";
inline constexpr char VXMEREASON_GUEST_ACCOUNT[] = "Guest Account";
inline constexpr char VXMEREASON_GUEST_ACCOUNT_INTERNAL_ONLY[] = "Guest Account Internal Only";
inline constexpr char VXMEREASON_ISOLATED[] = "Isolated Server";

// Other shared texts.
inline constexpr char SCOPE_MDS[] = "mds";
inline constexpr char MFA_KIND_TOTP[] = "TOTP";
inline constexpr char MFA_KIND_CERTIFICATE[] = "Certificate";
inline constexpr char MFA_ACTION_LOGIN[] = "login";
inline constexpr char MFA_ACTION_ENCRYPT[] = "encrypt";
inline constexpr char MFA_ACTION_DECRYPT[] = "decrypt";
inline constexpr char MFA_CERTIFICATE_POLICY_MESSAGE_NO_PAIRS_INSTALLED_DEFAULT[] =
    "Your company policy requires multi-factor authentication.\n\n"
    "Please provide your certificate. (Note: Your certificate may be on a smart card or token)";
inline constexpr char MFA_TOTP_POLICY_MESSAGE_PROMPT_DEFAULT[] =
    "Your company policy requires multi-factor authentication.\n\n"
    "Please enter your 6-digit authenticator code.";
inline constexpr char MFA_TOTP_POLICY_MESSAGE_NO_PAIRS_CAN_CREATE_DEFAULT[] =
    "Your company policy requires multi-factor authentication.\n\nPlease click the link below.";
inline constexpr char MFA_TOTP_POLICY_MESSAGE_NO_PAIRS_CANNOT_CREATE_DEFAULT[] =
    "Your company policy requires multi-factor authentication.\n\n"
    "Please login to Tarvex for Windows or macOS to setup.";
inline constexpr char MFA_REQUIRED_CLIENT_VERIFICATION_FAILED[] = "Multi-factor authentication required.";
inline constexpr char NOTIFICATION_TYPE_MFA_REQUIRED[] = "MFA_Required";

// Version tag of RSA public keys, RSA ciphertexts and signatures.
inline constexpr char tactic2Prefix[] = "V2";

} // namespace VxMeta
