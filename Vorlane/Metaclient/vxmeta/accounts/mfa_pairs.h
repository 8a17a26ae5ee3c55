// The user's MFA pairings as the MFA flows use them: the pairings that can serve a verification under
// a policy, the upload of a pairing the host created (a certificate the service rejects is
// blacklisted), a new certificate pairing, and the service's MFA management page.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace VxMeta {

class MFAPair;
class MfaPolicy;

// Under the master lock: view copies (without secrets) of the pairings of `pairs`, in order, whose
// kind this client can verify and the policy allows, enabled ones only unless includeDisabled. The
// forgery error for an invalid policy.
std::vector<std::shared_ptr<MFAPair>> usableMfaPairs(const std::vector<std::shared_ptr<MFAPair>>& pairs,
                                                     const MfaPolicy& policy, bool includeDisabled);
// The same over the user's pairings (myMFAPairs).
std::vector<std::shared_ptr<MFAPair>> usableMfaPairs(const MfaPolicy& policy, bool includeDisabled);

// Adds a pairing the host created: after the access checks (their failures pass on), a blacklisted
// certificate is refused (false) and a pairing whose association value a held pairing has is
// already there (true); otherwise it is uploaded and joins myMFAPairs (true). A failed upload is
// false (a certificate the service calls invalid is blacklisted). Takes the sync lock, then the
// master lock, which it releases for the upload; the caller must not hold the master lock.
bool addMfaPair(const std::shared_ptr<MFAPair>& pair, const MfaPolicy& policy);

// A new, enabled certificate pairing, not yet uploaded.
std::shared_ptr<MFAPair> createMfaCertPair(const std::string& associationValue, const std::string& secret);

// Under the sync lock: the address of the service's MFA page ("aa/endUserLogin"), the page that adds a
// TOTP pairing when addTotp, else the settings page. While it is fetched, this thread offers no remote
// TOTP creation. A reply without a text "url": "Server Protocol Violation".
std::string getManageMfaUrl(bool addTotp);

// Opens the MFA settings page through the host's browser hook; without a hook: "Client Error"
// "Callback to launch browser not set up. Go to <address> manually.".
void launchCreateTotpPairInBrowser();

} // namespace VxMeta
