// The two rarely changing documents the synchronization keeps in the device's Persists record and
// fetches only when their tags moved: the site document (polling interval and audit-log settings,
// signed with the service's key) and this platform's locker configuration.
#pragma once

#include <cstdint>

namespace VxMeta {

// GET "ua/siteData"; a reply equal to the stored text changes nothing; one whose signature does not
// verify with the service's key is ignored (logged); otherwise it is stored with its settings. A tag
// other than the expected one is logged and accepted. Request failures pass on.
void fetchSiteData(int32_t expectedGtag);
// GET "aa/archiveLockerConfig?platform=<device platform>" (with an expected tag of 0: "{}" without a
// request); stores a changed configuration and its "ltag" (0 when it has none; one that is not an
// integer is taken as the expected tag, so a bad document is fetched once, not every cycle), and the
// user's group tag it was read for.
void fetchLockerConfig(int32_t expectedLtag);

} // namespace VxMeta
