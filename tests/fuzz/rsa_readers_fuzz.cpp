// Fuzz target: the RSA key readers (the "V2-" public key text, its DER body, the DER private key),
// the signature reader and verifier, and the OAEP ciphertext reader. The first byte chooses the
// reader; the rest is split at separators into its inputs. Every input is read or refused with a
// VxMetaException; verifyTextNoExceptions never fails.
#include <cstdio>
#include <cstdlib>

#include <openssl/rsa.h>

#include "fuzz_input.h"
#include "vxmeta/crypto/rsa_encryption.h"
#include "vxmeta/crypto/rsa_keys.h"
#include "vxmeta/crypto/signatures.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/log.h"

using namespace VxMeta;

namespace {
std::string publicKey;
std::string privateKey;
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setLogLevel(0);
    generateRSAKeys(publicKey, privateKey);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t reader = data[0];
    const std::vector<std::string> parts = VxMetaFuzz::split(VxMetaFuzz::text(data + 1, size - 1), VxMetaFuzz::kPart, 3);
    const std::string& first = VxMetaFuzz::part(parts, 0);
    const std::string& second = VxMetaFuzz::part(parts, 1);
    const std::string& third = VxMetaFuzz::part(parts, 2);
    try {
        switch (reader % 7) {
        case 0: readPublicKey(first); break;
        case 1: publicKeyBody(first); break;
        case 2: readPublicKeyDer(first); break;
        case 3: {
            Pointer<EVP_PKEY> key = readPrivateKey(first);
            std::string pub, priv;
            extractKeys(key.get(), pub, priv);
            if (priv != first && readPrivateKey(priv) == nullptr) std::abort();
            break;
        }
        case 4: static_cast<void>(verifyText(first, second, publicKey)); break;
        case 5:
            // Never fails, whatever the key, text and signature.
            static_cast<void>(verifyTextNoExceptions(first, second, third));
            break;
        default: RSAdecryptOther(first, privateKey, RSA_PKCS1_OAEP_PADDING); break;
        }
    } catch (const VxMetaException&) {
        if (reader % 7 == 5) {
            std::fprintf(stderr, "verifyTextNoExceptions failed\n");
            std::abort();
        }
    }
    return 0;
}
