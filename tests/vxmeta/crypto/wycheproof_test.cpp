// The public Wycheproof vectors for the primitives the text forms rest on, through our functions.
#include <gtest/gtest.h>

#include <openssl/evp.h>
#include <openssl/rsa.h>

#include "vxmeta/crypto/aes.h"
#include "vxmeta/crypto/digests.h"
#include "vxmeta/crypto/openssl_owners.h"
#include "vxmeta/crypto/rsa_encryption.h"
#include "vxmeta/crypto/rsa_keys.h"
#include "vxmeta/crypto/signatures.h"
#include "vxmeta/foundation/base64.h"
#include "vxmeta/foundation/exception.h"
#include "wycheproof.h"

using namespace VxMeta;
using VxMetaTest::describe;
using VxMetaTest::forEachWycheproofTest;
using VxMetaTest::hexBytes;

namespace {

bool isValid(const Json::Value& test) { return test["result"].asString() == "valid"; }
bool isInvalid(const Json::Value& test) { return test["result"].asString() == "invalid"; }

TEST(Wycheproof, AesCbcPkcs7) {
    VX_OPEN_WYCHEPROOF("aes_cbc_pkcs5_test.json", document);
    int valid = 0, invalid = 0;
    forEachWycheproofTest(document, [&](const Json::Value&, const Json::Value& t) {
        const AES holder(hexBytes(t, "key"));
        const std::string iv = hexBytes(t, "iv"), msg = hexBytes(t, "msg"), ct = hexBytes(t, "ct");
        if (isValid(t)) {
            EXPECT_EQ(holder.encrypt(msg, iv, true), ct) << describe(t);
            EXPECT_EQ(holder.decrypt(ct, iv, true), msg) << describe(t);
            ++valid;
        } else if (isInvalid(t)) {
            // Decryption reports nothing by design (callers check what they decrypted): the last
            // block, whose padding does not verify, is left out and nothing else is touched.
            const std::string out = holder.decrypt(ct, iv, true);
            const std::string expected = ct.size() < 16 ? "" : holder.decrypt(ct.substr(0, ct.size() - 16), iv, false);
            EXPECT_EQ(out, expected) << describe(t);
            ++invalid;
        }
    });
    EXPECT_GT(valid, 60);
    EXPECT_GT(invalid, 100);
}

TEST(Wycheproof, Hmac) {
    const std::pair<const char*, int> files[] = {{"hmac_sha1_test.json", 160}, {"hmac_sha224_test.json", 224},
                                                 {"hmac_sha256_test.json", 256}, {"hmac_sha384_test.json", 384},
                                                 {"hmac_sha512_test.json", 512}};
    for (const auto& entry : files) {
        const char* const file = entry.first;
        const int size = entry.second;
        VX_OPEN_WYCHEPROOF(file, document);
        int valid = 0, invalid = 0;
        forEachWycheproofTest(document, [&](const Json::Value& group, const Json::Value& t) {
            const size_t tagBytes = static_cast<size_t>(group["tagSize"].asInt() / 8);
            const std::string mac = hmacsha(size, hexBytes(t, "key"), hexBytes(t, "msg")).substr(0, tagBytes);
            if (isValid(t)) {
                EXPECT_EQ(mac, hexBytes(t, "tag")) << file << " " << describe(t);
                ++valid;
            } else if (isInvalid(t)) {
                EXPECT_NE(mac, hexBytes(t, "tag")) << file << " " << describe(t);
                ++invalid;
            }
        });
        EXPECT_GT(valid, 50) << file;
        EXPECT_GT(invalid, 50) << file;
    }
}

TEST(Wycheproof, Pbkdf2) {
    for (const char* file : {"pbkdf2_hmacsha1_test.json", "pbkdf2_hmacsha256_test.json"}) {
        VX_OPEN_WYCHEPROOF(file, document);
        const auto derive = std::string(file).find("sha256") != std::string::npos ? PBKDF2_HMAC_SHA256 : PBKDF2_HMAC_SHA1;
        int valid = 0;
        forEachWycheproofTest(document, [&](const Json::Value&, const Json::Value& t) {
            if (!isValid(t)) return;
            EXPECT_EQ(derive(hexBytes(t, "password"), hexBytes(t, "salt"), t["iterationCount"].asInt(),
                             t["dkLen"].asInt()),
                      hexBytes(t, "dk"))
                << file << " " << describe(t);
            ++valid;
        });
        EXPECT_GT(valid, 50) << file;
    }
}

TEST(Wycheproof, RsaOaep2048Sha1) {
    VX_OPEN_WYCHEPROOF("rsa_oaep_2048_sha1_mgf1sha1_test.json", document);
    int valid = 0, invalid = 0;
    for (const Json::Value& group : document["testGroups"]) {
        // The file gives the key as PKCS #8; our functions take the PKCS #1 forms that extractKeys writes.
        const std::string pkcs8 = hexBytes(group, "privateKeyPkcs8");
        const unsigned char* cursor = reinterpret_cast<const unsigned char*>(pkcs8.data());
        Pointer<EVP_PKEY> key(d2i_AutoPrivateKey(nullptr, &cursor, static_cast<long>(pkcs8.size())));
        ASSERT_NE(key.get(), nullptr);
        std::string publicBody, privateKey;
        extractKeys(key, publicBody, privateKey);
        const std::string publicKey = "V2-" + publicBody;

        for (const Json::Value& t : group["tests"]) {
            if (!hexBytes(t, "label").empty()) continue; // our texts always use the empty label
            const std::string ct = "V2-" + base64_encode(hexBytes(t, "ct")), msg = hexBytes(t, "msg");
            if (isValid(t)) {
                EXPECT_EQ(RSAdecryptOther(ct, privateKey, RSA_PKCS1_OAEP_PADDING), msg) << describe(t);
                EXPECT_EQ(RSAdecryptOther(RSAencrypt(msg, publicKey), privateKey, RSA_PKCS1_OAEP_PADDING), msg);
                ++valid;
            } else if (isInvalid(t)) {
                try {
                    RSAdecryptOther(ct, privateKey, RSA_PKCS1_OAEP_PADDING);
                    ADD_FAILURE() << "accepted " << describe(t);
                } catch (const VxMetaException& e) {
                    EXPECT_EQ(e.message, "RSA_private_decrypt failed") << describe(t);
                }
                ++invalid;
            }
        }
    }
    EXPECT_GE(valid, 10);
    EXPECT_GE(invalid, 15);
}

TEST(Wycheproof, RsaPssSha512Salt64) {
    VX_OPEN_WYCHEPROOF("rsa_pss_misc_test.json", document);
    int accepted = 0, rejected = 0;
    for (const Json::Value& group : document["testGroups"]) {
        if (group["sha"].asString() != "SHA-512" || group["mgfSha"].asString() != "SHA-512" ||
            group["mgf"].asString() != "MGF1" || group["keySize"].asInt() != 2048) {
            continue;
        }
        const std::string publicKey = "V2-" + base64_encode(hexBytes(group, "publicKeyAsn"));
        const bool ourSalt = group["sLen"].asInt() == 64;
        for (const Json::Value& t : group["tests"]) {
            const std::string sig = "V2-" + base64_encode(hexBytes(t, "sig")), msg = hexBytes(t, "msg");
            if (isValid(t) && ourSalt) {
                EXPECT_TRUE(verifyText(msg, sig, publicKey)) << describe(t);
                EXPECT_FALSE(verifyText(msg + "x", sig, publicKey)) << describe(t);
                ++accepted;
            } else if (isValid(t) || isInvalid(t)) {
                // Valid under another salt length is not a signature of ours: the salt is fixed at 64.
                EXPECT_FALSE(verifyText(msg, sig, publicKey)) << describe(t) << " salt " << group["sLen"].asInt();
                ++rejected;
            }
        }
    }
    EXPECT_GE(accepted, 1);
    EXPECT_GE(rejected, 5);
}

} // namespace
