// Fuzz target: the readers of the AES texts ("V6-"/"V5-" under a key holder; "V2-", "V3-" and
// "V4-" under a password or a base64 key). The first byte chooses the reader; the rest is the key
// or password, a separator, and the text. A text is decrypted or refused with a VxMetaException.
#include "fuzz_input.h"
#include "vxmeta/crypto/aes.h"
#include "vxmeta/crypto/simple_aes.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/log.h"

using namespace VxMeta;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setLogLevel(0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t reader = data[0];
    const std::vector<std::string> parts = VxMetaFuzz::split(VxMetaFuzz::text(data + 1, size - 1), VxMetaFuzz::kPart, 2);
    const std::string& key = VxMetaFuzz::part(parts, 0);
    const std::string& text = VxMetaFuzz::part(parts, 1);
    if (VxMetaFuzz::namesManyRounds(text)) return -1;
    const bool padding = (reader & 0x80) == 0;
    try {
        switch (reader % 8) {
        case 0: decrypt(AES(key), text); break;
        case 1: decrypt(AES(key, true), text); break;
        case 2: aesDecrypt(text, key, padding); break;
        case 3: prikeyDecryptV2(text, key); break;
        case 4: sinfoDecrypt(text, key); break;
        case 5: passwordDecrypt(text, key); break;
        case 6: IndirectAES(key, 7).decrypt(text, padding); break;
        default: SimpleAES(key, 1000).decrypt(text, padding); break;
        }
    } catch (const VxMetaException&) {
        // refused as the library refuses texts
    }
    return 0;
}
