// Writes every text form as this library makes it, for tests/vectors/crypto_vectors.py to check with
// Python `cryptography`. Usage: crypto_write_vectors OUT.json
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include <json/value.h>
#include <json/writer.h>

#include "vxmeta/crypto/aes.h"
#include "vxmeta/crypto/digests.h"
#include "vxmeta/crypto/key_wrapping.h"
#include "vxmeta/crypto/mem_ps.h"
#include "vxmeta/crypto/rsa_encryption.h"
#include "vxmeta/crypto/rsa_keys.h"
#include "vxmeta/crypto/signatures.h"
#include "vxmeta/crypto/simple_aes.h"
#include "vxmeta/foundation/base64.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/json.h"

using namespace VxMeta;

namespace {

std::string b64(const std::string& bytes) { return base64_encode(bytes); }

Json::Value entry(std::initializer_list<std::pair<const char*, Json::Value>> members) {
    Json::Value v(Json::objectValue);
    for (const auto& [name, value] : members) v[name] = value;
    return v;
}

// The key pair Python made, from the committed vectors: our ciphertexts for it are opened by Python.
void pythonKey(std::string& publicKey, std::string& privateKey) {
    std::ifstream in(std::string(VX_SOURCE_DIR) + "/tests/vectors/crypto_vectors.json");
    std::stringstream text;
    text << in.rdbuf();
    Json::Value vectors;
    if (!in || !parse(text.str(), vectors)) throw VxMetaException("Test", "cannot read the committed vectors");
    publicKey = vectors["rsa"]["public"].asString();
    privateKey = base64_decode(vectors["rsa"]["private"].asString());
}

Json::Value write() {
    Json::Value out(Json::objectValue);

    for (int keyBytes : {16, 24, 32}) {
        const std::string key = randomBytes(keyBytes);
        for (int n : {0, 1, 16, 33, 1000}) {
            const std::string pt = randomBytes(n);
            out["v6"].append(entry({{"key", b64(key)}, {"plaintext", b64(pt)}, {"text", encrypt(AES(key), pt, true)}}));
            const std::string iv = randomBytes(16);
            out["aes_raw"].append(entry({{"key", b64(key)}, {"iv", b64(iv)}, {"padding", true}, {"plaintext", b64(pt)},
                                         {"ciphertext", b64(AES(key).encrypt(pt, iv, true))}}));
        }
        for (int n : {0, 16, 64}) {
            const std::string pt = randomBytes(n);
            out["v5"].append(entry({{"key", b64(key)}, {"plaintext", b64(pt)}, {"text", encrypt(AES(key), pt, false)}}));
        }
    }

    const std::string password = "pässwörd";
    const std::string prikey = randomBytes(1190);
    const std::string sinfo = b64(randomBytes(24)); // a 32-character text
    out["v2"].append(entry({{"writer", "passwordEncrypt"}, {"password", b64(password)}, {"rounds", kPasswordRounds},
                            {"padding", true}, {"plaintext", b64("p")}, {"text", passwordEncrypt("p", password)}}));
    out["v2"].append(entry({{"writer", "prikeyEncryptV2"}, {"password", b64(password)}, {"rounds", kPasswordRounds},
                            {"padding", true}, {"plaintext", b64(prikey)}, {"text", prikeyEncryptV2(prikey, password)}}));
    out["v2"].append(entry({{"writer", "sinfoEncrypt"}, {"password", b64(password)}, {"rounds", kPasswordRounds},
                            {"padding", false}, {"plaintext", b64(sinfo)}, {"text", sinfoEncrypt(sinfo, password)}}));
    out["v2"].append(entry({{"writer", "SimpleAES"}, {"password", b64("")}, {"rounds", 3}, {"padding", true},
                            {"plaintext", b64("")}, {"text", SimpleAES("", 3).encrypt("", true)}}));

    for (bool padding : {true, false}) {
        const std::string key = generateSessionKey();
        const std::string pt = randomBytes(padding ? 45 : 32);
        out["v3"].append(entry({{"key", key}, {"key_id", 17}, {"padding", padding}, {"plaintext", b64(pt)},
                                {"text", IndirectAES(key, 17).encrypt(pt, padding)}}));
        out["v4"].append(entry({{"key", key}, {"padding", padding}, {"plaintext", b64(pt)},
                                {"text", aesEncrypt(pt, key, padding)}}));
    }
    out["v4"].append(entry({{"key", generateSessionKey()}, {"padding", true}, {"plaintext", b64("")}, {"text", ""}}));
    out["v4"][out["v4"].size() - 1]["text"] = aesEncrypt("", out["v4"][out["v4"].size() - 1]["key"].asString(), true);

    std::string ourPublic, ourPrivate, theirPublic, theirPrivate;
    generateRSAKeys(ourPublic, ourPrivate);
    pythonKey(theirPublic, theirPrivate);
    out["generated_keys"].append(entry({{"public", ourPublic}, {"private", b64(ourPrivate)}}));

    for (const auto& [pub, priv] : {std::pair{ourPublic, ourPrivate}, std::pair{theirPublic, theirPrivate}}) {
        for (int n : {0, 1, 44, 214}) {
            const std::string pt = randomBytes(n);
            out["oaep"].append(entry({{"private", b64(priv)}, {"plaintext", b64(pt)}, {"ciphertext", RSAencrypt(pt, pub)}}));
        }
        for (const std::string& text : {std::string(), std::string(R"({"a":1,"b":"x"})"), randomBytes(1000)}) {
            out["pss"].append(entry({{"public", pub}, {"text", b64(text)}, {"signature", signTextOther(text, priv)}}));
        }
        const std::string sessionKey = generateSessionKey();
        out["session_keys"].append(entry({{"session_key", sessionKey}, {"private", b64(priv)},
                                          {"wrapped", encryptSessionKey(sessionKey, pub)}}));
        out["master_keys"].append(entry({{"master_key", b64(ourPrivate)}, {"private", b64(priv)},
                                         {"wrapped", encryptMasterKey(ourPrivate, pub)}}));
    }
    out["session_keys"].append(entry({{"session_key", generateSessionKey()}}));

    for (const std::string& text : {std::string(), std::string("abc"), randomBytes(300)}) {
        out["hash_text"].append(entry({{"text", b64(text)}, {"hash", hashText(text)}}));
        out["sha256"].append(entry({{"text", b64(text)}, {"digest", b64(SHA256(text))}}));
    }
    for (int size : {1, 160, 224, 256, 384, 512}) {
        for (const std::string& key : {std::string(), randomBytes(20), randomBytes(200)}) {
            const std::string data = randomBytes(size);
            out["hmac"].append(entry({{"size", size}, {"key", b64(key)}, {"data", b64(data)}, {"mac", b64(hmacsha(size, key, data))}}));
        }
        out["hash_password"].append(entry({{"password", b64("secret")}, {"size", size}, {"rounds", 1000},
                                           {"result", hashPassword("secret", size, 1000)}}));
    }
    for (int rounds : {1, 1000, kPasswordRounds}) {
        const std::string pw = randomBytes(12), salt = randomBytes(16);
        out["pbkdf2"].append(entry({{"prf", "sha256"}, {"password", b64(pw)}, {"salt", b64(salt)}, {"rounds", rounds},
                                    {"length", 32}, {"key", b64(PBKDF2_HMAC_SHA256(pw, salt, rounds, 32))}}));
        out["pbkdf2"].append(entry({{"prf", "sha1"}, {"password", b64(pw)}, {"salt", b64(salt)}, {"rounds", rounds},
                                    {"length", 50}, {"key", b64(PBKDF2_HMAC_SHA1(pw, salt, rounds, 50))}}));
    }
    for (int i = 0; i < 4; ++i) {
        const std::string text = b64(randomBytes(24)), pw = b64(randomBytes(6));
        out["sinfo_hash"].append(entry({{"sinfo", b64(text)}, {"password", b64(pw)}, {"hash", sinfoHash(text, pw)}}));
    }
    return out;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUT.json\n", argv[0]);
        return 2;
    }
    try {
        Json::StreamWriterBuilder builder;
        builder["indentation"] = " ";
        std::ofstream file(argv[1]);
        file << Json::writeString(builder, write()) << "\n";
        if (!file) {
            std::fprintf(stderr, "cannot write %s\n", argv[1]);
            return 1;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "failed: %s\n", e.what());
        return 1;
    }
    return 0;
}
