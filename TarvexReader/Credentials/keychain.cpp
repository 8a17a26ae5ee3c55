#include "TarvexReader/Credentials/keychain.h"

namespace TarvexReader {

Keychain::~Keychain() = default;

} // namespace TarvexReader
