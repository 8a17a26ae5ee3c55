// Failures the layer handles leave nothing on the thread's OpenSSL error queue, where the TLS
// transport would read them as its own.
#include <gtest/gtest.h>

#include <functional>

#include <openssl/err.h>
#include <openssl/rsa.h>

#include "interop_vectors.h"
#include "vxmeta/crypto/aes.h"
#include "vxmeta/crypto/rsa_encryption.h"
#include "vxmeta/crypto/signatures.h"
#include "vxmeta/crypto/simple_aes.h"
#include "vxmeta/foundation/base64.h"
#include "vxmeta/foundation/exception.h"

using namespace VxMeta;

namespace {

TEST(OpensslErrorQueue, EmptyAfterHandledFailures) {
    const std::string pub = VxMetaTest::textOf(VxMetaTest::vectorSection("rsa"), "public");
    const std::string priv = VxMetaTest::bytesOf(VxMetaTest::vectorSection("rsa"), "private");
    const std::string key = base64_encode(std::string(32, 'k'));
    const std::string v4 = aesEncrypt("some secret text", key, true);
    const std::string ct = RSAencrypt("x", pub);
    std::string damaged = base64_decode(ct.substr(3));
    damaged[7] = static_cast<char>(damaged[7] ^ 0x40);

    const std::pair<const char*, std::function<void()>> cases[] = {
        {"wrong AES key", [&] { aesDecrypt(v4, base64_encode(std::string(32, 'w')), true); }},
        {"signature that does not verify", [&] { EXPECT_FALSE(verifyText("t", signTextOther("u", priv), pub)); }},
        {"signature above the modulus",
         [&] { EXPECT_FALSE(verifyText("t", "V2-" + base64_encode(std::string(256, '\xff')), pub)); }},
        {"unreadable public key", [&] { EXPECT_FALSE(verifyTextNoExceptions("t", "V2-AAAA", "V2-AAAA")); }},
        {"damaged RSA ciphertext", [&] { RSAdecryptOther("V2-" + base64_encode(damaged), priv, RSA_PKCS1_OAEP_PADDING); }},
        {"unreadable private key", [&] { signTextOther("t", "junk"); }},
    };
    for (const auto& [what, call] : cases) {
        ERR_clear_error();
        try {
            call();
        } catch (const VxMetaException&) {
        }
        EXPECT_EQ(ERR_peek_error(), 0u) << what;
    }
}

} // namespace
