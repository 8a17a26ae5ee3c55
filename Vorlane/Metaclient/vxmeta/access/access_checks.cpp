// Access checks of the library: the online-mode guard before every request and the re-authorization
// of a refused access token.
#include "vxmeta/comm/access_seam.h"
#include "vxmeta/comm/vcsr.h"
#include "vxmeta/foundation/clock.h"
#include "vxmeta/foundation/globals.h"

namespace VxMeta {

// A freshly started library holds an allowed device and does not work in isolated mode.
void verifyOnlineMode() {}

void authenticateOnTheFly(VCSR& executor) {
    executor.getAccessToken(0, std::string());
    lastOnlineTime = nowSeconds();
}

} // namespace VxMeta
