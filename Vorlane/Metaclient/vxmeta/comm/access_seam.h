// Calls of the request pipeline into the access area above it: the online-mode guard, the
// re-authorization of a refused token, the local logout and the dataset reset that some refusals
// of the service trigger. Declared here, defined by the access area.
#pragma once

namespace VxMeta {

class VCSR;

// Fails when the device has been disabled or the library works in isolated mode.
void verifyOnlineMode();
// Obtains a new access token for the current account on `executor`'s server.
void authenticateOnTheFly(VCSR& executor);
// Forgets the signed-in user's secrets in memory and every server's access token.
void logout();
// Empties the dataset and the global state, keeping the server selection when asked.
void mdClearAll(bool keepServer);

} // namespace VxMeta
