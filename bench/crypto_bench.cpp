// The cryptography layer beside OpenSSL's own calls for the same work. Each pair starts from the same
// inputs: keys in their stored forms (DER for OpenSSL, our texts for us), so both sides parse the key.
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <memory>
#include <string>

#include <openssl/evp.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>

#include "vxmeta/crypto/aes.h"
#include "vxmeta/crypto/digests.h"
#include "vxmeta/crypto/rsa_encryption.h"
#include "vxmeta/crypto/rsa_keys.h"
#include "vxmeta/crypto/signatures.h"
#include "vxmeta/foundation/base64.h"

namespace {

// Large texts are allocated and freed on every iteration on both sides; keep glibc from handing
// that memory back to the kernel each time, so page faults do not swamp the work being compared.
const bool kQuietAllocator = [] {
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    return true;
}();

const unsigned char* u(const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); }

struct Keys {
    std::string publicText;  // "V2-" form
    std::string publicDer;   // its DER body
    std::string privateDer;
};

const Keys& keys() {
    static const Keys made = [] {
        Keys k;
        VxMeta::generateRSAKeys(k.publicText, k.privateDer);
        k.publicDer = VxMeta::base64_decode(k.publicText.substr(3));
        return k;
    }();
    return made;
}

const std::string kRecord = R"({"record":{"asset":"urn:asset:12345","homeServer":"https://kms.example","keysequence":3,)"
                            R"("owner":"urn:user:someone@example.com","participant":"urn:user:someone@example.com"}})";

EVP_PKEY* opensslPublic() {
    const unsigned char* p = u(keys().publicDer);
    return d2i_PublicKey(EVP_PKEY_RSA, nullptr, &p, static_cast<long>(keys().publicDer.size()));
}

EVP_PKEY* opensslPrivate() {
    const unsigned char* p = u(keys().privateDer);
    return d2i_PrivateKey(EVP_PKEY_RSA, nullptr, &p, static_cast<long>(keys().privateDer.size()));
}

// ---------------------------------------------------------------- PBKDF2, 50000 rounds

void Pbkdf2_Ours(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(VxMeta::PBKDF2_HMAC_SHA256("password", "salt text", 50000, 32));
}
BENCHMARK(Pbkdf2_Ours)->Unit(benchmark::kMillisecond);

void Pbkdf2_OpenSSL(benchmark::State& state) {
    unsigned char out[32];
    for (auto _ : state) {
        PKCS5_PBKDF2_HMAC("password", 8, u(std::string("salt text")), 9, 50000, EVP_sha256(), 32, out);
        benchmark::DoNotOptimize(out);
    }
}
BENCHMARK(Pbkdf2_OpenSSL)->Unit(benchmark::kMillisecond);

// ---------------------------------------------------------------- RSA-2048 key generation (and DER forms)

void RsaKeyGen_Ours(benchmark::State& state) {
    std::string pub, priv;
    for (auto _ : state) VxMeta::generateRSAKeys(pub, priv);
}
BENCHMARK(RsaKeyGen_Ours)->Unit(benchmark::kMillisecond)->MinTime(20.0);

void RsaKeyGen_OpenSSL(benchmark::State& state) {
    for (auto _ : state) {
        EVP_PKEY* key = EVP_RSA_gen(2048);
        unsigned char* pub = nullptr;
        unsigned char* priv = nullptr;
        benchmark::DoNotOptimize(i2d_PublicKey(key, &pub));
        benchmark::DoNotOptimize(i2d_PrivateKey(key, &priv));
        OPENSSL_free(pub);
        OPENSSL_clear_free(priv, 1200);
        EVP_PKEY_free(key);
    }
}
BENCHMARK(RsaKeyGen_OpenSSL)->Unit(benchmark::kMillisecond)->MinTime(20.0);

// ---------------------------------------------------------------- OAEP (SHA-1) of a session key text

const std::string kSessionKey(44, 'k');

void OaepEncrypt_Ours(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(VxMeta::RSAencrypt(kSessionKey, keys().publicText));
}
BENCHMARK(OaepEncrypt_Ours)->Unit(benchmark::kMicrosecond);

void OaepEncrypt_OpenSSL(benchmark::State& state) {
    unsigned char out[256];
    for (auto _ : state) {
        EVP_PKEY* key = opensslPublic();
        EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_from_pkey(nullptr, key, nullptr);
        size_t len = sizeof out;
        EVP_PKEY_encrypt_init(ctx);
        EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_OAEP_PADDING);
        EVP_PKEY_CTX_set_rsa_oaep_md(ctx, EVP_sha1());
        EVP_PKEY_CTX_set_rsa_mgf1_md(ctx, EVP_sha1());
        EVP_PKEY_encrypt(ctx, out, &len, u(kSessionKey), kSessionKey.size());
        benchmark::DoNotOptimize(out);
        EVP_PKEY_CTX_free(ctx);
        EVP_PKEY_free(key);
    }
}
BENCHMARK(OaepEncrypt_OpenSSL)->Unit(benchmark::kMicrosecond);

void OaepDecrypt_Ours(benchmark::State& state) {
    const std::string ct = VxMeta::RSAencrypt(kSessionKey, keys().publicText);
    for (auto _ : state) benchmark::DoNotOptimize(VxMeta::RSAdecryptOther(ct, keys().privateDer, RSA_PKCS1_OAEP_PADDING));
}
BENCHMARK(OaepDecrypt_Ours)->Unit(benchmark::kMicrosecond);

void OaepDecrypt_OpenSSL(benchmark::State& state) {
    const std::string ct = VxMeta::base64_decode(VxMeta::RSAencrypt(kSessionKey, keys().publicText).substr(3));
    unsigned char out[256];
    for (auto _ : state) {
        EVP_PKEY* key = opensslPrivate();
        EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_from_pkey(nullptr, key, nullptr);
        size_t len = sizeof out;
        EVP_PKEY_decrypt_init(ctx);
        EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_OAEP_PADDING);
        EVP_PKEY_CTX_set_rsa_oaep_md(ctx, EVP_sha1());
        EVP_PKEY_CTX_set_rsa_mgf1_md(ctx, EVP_sha1());
        EVP_PKEY_decrypt(ctx, out, &len, u(ct), ct.size());
        benchmark::DoNotOptimize(out);
        EVP_PKEY_CTX_free(ctx);
        EVP_PKEY_free(key);
    }
}
BENCHMARK(OaepDecrypt_OpenSSL)->Unit(benchmark::kMicrosecond);

// ---------------------------------------------------------------- PSS (SHA-512, salt 64) over a record text

void PssSign_Ours(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(VxMeta::signTextOther(kRecord, keys().privateDer));
}
BENCHMARK(PssSign_Ours)->Unit(benchmark::kMicrosecond);

void PssSign_OpenSSL(benchmark::State& state) {
    unsigned char sig[256];
    for (auto _ : state) {
        EVP_PKEY* key = opensslPrivate();
        EVP_MD_CTX* md = EVP_MD_CTX_new();
        EVP_PKEY_CTX* ctx = nullptr;
        size_t len = sizeof sig;
        EVP_DigestSignInit(md, &ctx, EVP_sha512(), nullptr, key);
        EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PSS_PADDING);
        EVP_PKEY_CTX_set_rsa_mgf1_md(ctx, EVP_sha512());
        EVP_PKEY_CTX_set_rsa_pss_saltlen(ctx, 64);
        EVP_DigestSign(md, sig, &len, u(kRecord), kRecord.size());
        benchmark::DoNotOptimize(sig);
        EVP_MD_CTX_free(md);
        EVP_PKEY_free(key);
    }
}
BENCHMARK(PssSign_OpenSSL)->Unit(benchmark::kMicrosecond);

void PssVerify_Ours(benchmark::State& state) {
    const std::string sig = VxMeta::signTextOther(kRecord, keys().privateDer);
    for (auto _ : state) benchmark::DoNotOptimize(VxMeta::verifyText(kRecord, sig, keys().publicText));
}
BENCHMARK(PssVerify_Ours)->Unit(benchmark::kMicrosecond);

void PssVerify_OpenSSL(benchmark::State& state) {
    const std::string sig = VxMeta::base64_decode(VxMeta::signTextOther(kRecord, keys().privateDer).substr(3));
    for (auto _ : state) {
        EVP_PKEY* key = opensslPublic();
        EVP_MD_CTX* md = EVP_MD_CTX_new();
        EVP_PKEY_CTX* ctx = nullptr;
        EVP_DigestVerifyInit(md, &ctx, EVP_sha512(), nullptr, key);
        EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PSS_PADDING);
        EVP_PKEY_CTX_set_rsa_mgf1_md(ctx, EVP_sha512());
        EVP_PKEY_CTX_set_rsa_pss_saltlen(ctx, 64);
        benchmark::DoNotOptimize(EVP_DigestVerify(md, u(sig), sig.size(), u(kRecord), kRecord.size()));
        EVP_MD_CTX_free(md);
        EVP_PKEY_free(key);
    }
}
BENCHMARK(PssVerify_OpenSSL)->Unit(benchmark::kMicrosecond);

// ---------------------------------------------------------------- V6 text of 1 MiB (random IV, AES-256-CBC, base64)

const std::string kMiB(1 << 20, 'd');
const std::string kAesKey(32, 'K');

void V6Encrypt1MiB_Ours(benchmark::State& state) {
    const VxMeta::AES holder(kAesKey);
    for (auto _ : state) benchmark::DoNotOptimize(VxMeta::encrypt(holder, kMiB, true));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kMiB.size()));
}
BENCHMARK(V6Encrypt1MiB_Ours)->Unit(benchmark::kMicrosecond);

void V6Encrypt1MiB_OpenSSL(benchmark::State& state) {
    for (auto _ : state) {
        // Fresh buffers per text, as any call that hands back a new text needs.
        const size_t ctRoom = kMiB.size() + 16;
        auto ct = std::make_unique_for_overwrite<unsigned char[]>(ctRoom);
        auto encoded = std::make_unique_for_overwrite<unsigned char[]>(4 * ((ctRoom + 2) / 3) + 1);
        unsigned char iv[16];
        RAND_bytes(iv, sizeof iv);
        EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
        int n = 0, tail = 0;
        EVP_EncryptInit_ex(ctx, EVP_aes_256_cbc(), nullptr, u(kAesKey), iv);
        EVP_EncryptUpdate(ctx, ct.get(), &n, u(kMiB), static_cast<int>(kMiB.size()));
        EVP_EncryptFinal_ex(ctx, ct.get() + n, &tail);
        EVP_CIPHER_CTX_free(ctx);
        unsigned char ivText[25];
        EVP_EncodeBlock(ivText, iv, sizeof iv);
        const int length = EVP_EncodeBlock(encoded.get(), ct.get(), n + tail);
        std::string out;
        out.reserve(28 + static_cast<size_t>(length));
        out.append("V6-").append(reinterpret_cast<char*>(ivText), 24).append("-");
        out.append(reinterpret_cast<char*>(encoded.get()), static_cast<size_t>(length));
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kMiB.size()));
}
BENCHMARK(V6Encrypt1MiB_OpenSSL)->Unit(benchmark::kMicrosecond);

} // namespace
