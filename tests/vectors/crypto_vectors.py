#!/usr/bin/python3
"""Interop vectors for the client library's cryptographic text forms, made with Python `cryptography`.

    crypto_vectors.py make OUT.json     writes fresh vectors (the committed crypto_vectors.json)
    crypto_vectors.py check OURS.json   verifies texts the library wrote (exit status 1 on any mismatch)

Everything here follows the documented formats: ASCII texts, fields separated by "-", byte fields in
standard base64 with "=" padding, numbers in decimal.
  V6/V5  "V6-" b64(iv) "-" b64(ct)                AES-CBC, key 16/24/32 bytes, PKCS#7 (V6) or none (V5)
  V2     "V2-" b64(salt) "-" rounds "-" b64(ct)   AES-256-CBC, key PBKDF2-HMAC-SHA256(password, salt,
                                                  rounds, 32), IV salt[:16], salt 32 random bytes
  V3     "V3-" keyId "-" b64(salt) "-" b64(ct)    AES-256-CBC, key b64decode(secret), IV salt[:16]
  V4     "V4-" b64(ct)                            AES-256-CBC, key b64decode(secret), IV key[:16]
  RSA    2048 bits, e 65537; public key "V2-" b64(PKCS#1 RSAPublicKey DER) (363 characters);
         private key raw PKCS#1 RSAPrivateKey DER; OAEP SHA-1/MGF1-SHA-1, empty label;
         PSS SHA-512/MGF1-SHA-512, salt 64; ciphertexts and signatures "V2-" b64(256 bytes)
  session key  b64 of 32 random bytes; RSA form = OAEP of that 44-character text
  master form  RSA form of a fresh session key sk, "|", V4 of the master key under sk (padding on)
  sinfoHash    "V2-" + b64(PBKDF2-HMAC-SHA256(password, salt = sinfo text, 50000, 32)) with "/" -> ","
"""
import base64
import hashlib
import hmac
import json
import os
import sys

from cryptography.hazmat.primitives import hashes, padding as sympadding, serialization
from cryptography.hazmat.primitives.asymmetric import padding as asympadding, rsa
from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes

PASSWORD_ROUNDS = 50000


def b64(data):
    return base64.b64encode(data).decode()


def unb64(text):
    return base64.b64decode(text)


# ---------------------------------------------------------------- AES

def cbc(key, iv, data, encrypting, pad):
    if encrypting and pad:
        padder = sympadding.PKCS7(128).padder()
        data = padder.update(data) + padder.finalize()
    cipher = Cipher(algorithms.AES(key), modes.CBC(iv[:16]))
    op = cipher.encryptor() if encrypting else cipher.decryptor()
    out = op.update(data) + op.finalize()
    if not encrypting and pad:
        unpadder = sympadding.PKCS7(128).unpadder()
        out = unpadder.update(out) + unpadder.finalize()
    return out


def decrypt_lenient(key, iv, ct):
    """What a padded CBC reader returns without reporting anything: the unpadded bytes when the
    padding verifies, otherwise everything but the last block."""
    raw = Cipher(algorithms.AES(key), modes.CBC(iv[:16])).decryptor().update(ct)
    try:
        unpadder = sympadding.PKCS7(128).unpadder()
        return unpadder.update(raw) + unpadder.finalize()
    except ValueError:
        return raw[:-16]


def v6_v5(key, plaintext, pad):
    iv = os.urandom(16)
    return ("V6-" if pad else "V5-") + b64(iv) + "-" + b64(cbc(key, iv, plaintext, True, pad))


def read_v6_v5(key, text):
    parts = text.split("-")
    assert parts[0] in ("V6", "V5") and len(parts) == 3, "V6/V5 shape"
    iv = unb64(parts[1])
    assert len(iv) == 16, "IV of 16 bytes"
    return cbc(key, iv, unb64(parts[2]), False, parts[0] == "V6")


def pbkdf2_sha256(password, salt, rounds, length):
    return hashlib.pbkdf2_hmac("sha256", password, salt, rounds, length)


def v2(password, rounds, plaintext, pad):
    salt = os.urandom(32)
    key = pbkdf2_sha256(password, salt, rounds, 32)
    return "V2-" + b64(salt) + "-" + str(rounds) + "-" + b64(cbc(key, salt, plaintext, True, pad))


def v3(key_b64, key_id, plaintext, pad):
    salt = os.urandom(32)
    return "V3-" + str(key_id) + "-" + b64(salt) + "-" + b64(cbc(unb64(key_b64), salt, plaintext, True, pad))


def v4(key_b64, plaintext, pad):
    key = unb64(key_b64)
    return "V4-" + b64(cbc(key, key, plaintext, True, pad))


def read_simple(text, secret, pad):
    """Reads a V2, V3 or V4 text; secret is the password (V2) or the base64 key text (V3, V4)."""
    parts = text.split("-")
    if parts[0] == "V2":
        assert len(parts) == 4
        salt = unb64(parts[1])
        assert len(salt) == 32, "salt of 32 bytes"
        key = pbkdf2_sha256(secret, salt, int(parts[2]), 32)
        return cbc(key, salt, unb64(parts[3]), False, pad)
    if parts[0] == "V3":
        assert len(parts) == 4 and parts[1].isdigit()
        salt = unb64(parts[2])
        assert len(salt) == 32, "salt of 32 bytes"
        return cbc(unb64(secret), salt, unb64(parts[3]), False, pad)
    assert parts[0] == "V4" and len(parts) == 2
    key = unb64(secret)
    return cbc(key, key, unb64(parts[1]), False, pad)


# ---------------------------------------------------------------- RSA

OAEP = asympadding.OAEP(mgf=asympadding.MGF1(hashes.SHA1()), algorithm=hashes.SHA1(), label=None)
PSS = asympadding.PSS(mgf=asympadding.MGF1(hashes.SHA512()), salt_length=64)


def public_text(public_key):
    return "V2-" + b64(public_key.public_bytes(serialization.Encoding.DER, serialization.PublicFormat.PKCS1))


def private_der(private_key):
    return private_key.private_bytes(serialization.Encoding.DER, serialization.PrivateFormat.TraditionalOpenSSL,
                                     serialization.NoEncryption())


def load_public(text):
    assert text.startswith("V2-"), "public key tag"
    return serialization.load_der_public_key(unb64(text[3:]))  # PKCS#1 RSAPublicKey DER


def load_private(der):
    return serialization.load_der_private_key(der, password=None)


def rsa_text(block):
    assert len(block) == 256
    return "V2-" + b64(block)


def rsa_block(text):
    assert text.startswith("V2-") and text.count("-") == 1, "RSA text shape"
    assert len(text) == 347, "RSA text of 347 characters"
    return unb64(text[3:])


def sinfo_hash(sinfo, password):
    return "V2-" + b64(pbkdf2_sha256(password, sinfo, PASSWORD_ROUNDS, 32)).replace("/", ",")


SHA_SIZES = {1: "sha1", 160: "sha1", 224: "sha224", 256: "sha256", 384: "sha384", 512: "sha512"}


def hmac_of(size, key, data):
    return hmac.new(key, data, SHA_SIZES[size]).digest()


# ---------------------------------------------------------------- make

def make():
    rnd = os.urandom
    out = {"about": "Made by crypto_vectors.py with Python cryptography from the documented text forms."}

    out["aes_raw"] = []
    for key_len in (16, 24, 32):
        for pad, lengths in ((True, (0, 1, 15, 16, 17, 100)), (False, (0, 16, 48))):
            for n in lengths:
                key, iv, pt = rnd(key_len), rnd(16 if n % 2 else 20), rnd(n)
                out["aes_raw"].append({"key": b64(key), "iv": b64(iv), "padding": pad, "plaintext": b64(pt),
                                       "ciphertext": b64(cbc(key, iv, pt, True, pad))})

    out["v6"], out["v5"] = [], []
    for key_len in (16, 24, 32):
        for n in (0, 1, 16, 31, 1000):
            key, pt = rnd(key_len), rnd(n)
            out["v6"].append({"key": b64(key), "plaintext": b64(pt), "text": v6_v5(key, pt, True)})
        for n in (0, 16, 64):
            key, pt = rnd(key_len), rnd(n)
            out["v5"].append({"key": b64(key), "plaintext": b64(pt), "text": v6_v5(key, pt, False)})

    out["v2"] = []
    for password, rounds, n, pad in ((b"correct horse", PASSWORD_ROUNDS, 1190, True),
                                     ("pässwörd".encode(), 1, 5, True),
                                     (b"", 1000, 0, True),
                                     (b"sinfo password", PASSWORD_ROUNDS, 32, False),
                                     (b"x", 7, 64, False)):
        pt = rnd(n)
        out["v2"].append({"password": b64(password), "rounds": rounds, "padding": pad, "plaintext": b64(pt),
                          "text": v2(password, rounds, pt, pad)})

    out["v3"], out["v4"] = [], []
    for key_id, n, pad in ((1, 32, False), (7, 0, True), (123456789, 100, True)):
        key, pt = b64(rnd(32)), rnd(n)
        out["v3"].append({"key": key, "key_id": key_id, "padding": pad, "plaintext": b64(pt),
                          "text": v3(key, key_id, pt, pad)})
    for n, pad in ((0, True), (1, True), (16, True), (32, False), (1190, True)):
        key, pt = b64(rnd(32)), rnd(n)
        out["v4"].append({"key": key, "padding": pad, "plaintext": b64(pt), "text": v4(key, pt, pad)})

    # A reader given the wrong key reports nothing and returns what the cipher produced.
    out["wrong_key"] = []
    for _ in range(4):
        key, wrong, pt = rnd(32), rnd(32), rnd(40)
        text = v6_v5(key, pt, True)
        parts = text.split("-")
        out["wrong_key"].append({"form": "V6", "key": b64(wrong), "text": text,
                                 "result": b64(decrypt_lenient(wrong, unb64(parts[1]), unb64(parts[2])))})
        key_b64, wrong_b64 = b64(rnd(32)), b64(rnd(32))
        text = v4(key_b64, pt, True)
        wk = unb64(wrong_b64)
        out["wrong_key"].append({"form": "V4", "key": wrong_b64, "text": text,
                                 "result": b64(decrypt_lenient(wk, wk, unb64(text[3:])))})

    # sinfoDecrypt pads only texts longer than 100 characters; V3 key numbers of 7 and 8 digits
    # give texts of exactly 100 and 101 characters.
    out["sinfo"] = []
    sinfo_pw = b"sinfo password"
    sinfo = rnd(16).hex().encode()
    out["sinfo"].append({"password": b64(sinfo_pw), "plaintext": b64(sinfo),
                         "text": v2(sinfo_pw, PASSWORD_ROUNDS, sinfo, False)})
    key = b64(rnd(32))
    pt = rnd(32)
    text = v3(key, 1234567, pt, False)
    assert len(text) == 100
    out["sinfo"].append({"password": b64(key.encode()), "plaintext": b64(pt), "text": text})
    pt = rnd(16)
    text = v3(key, 12345678, pt, True)
    assert len(text) == 101
    out["sinfo"].append({"password": b64(key.encode()), "plaintext": b64(pt), "text": text})

    private_key = rsa.generate_private_key(public_exponent=65537, key_size=2048)
    public = public_text(private_key.public_key())
    assert len(public) == 363
    out["rsa"] = {"public": public, "private": b64(private_der(private_key))}
    out["rsa_other_sizes"] = []
    for bits in (1024, 3072):
        other = rsa.generate_private_key(public_exponent=65537, key_size=bits)
        out["rsa_other_sizes"].append({"bits": bits, "public": public_text(other.public_key()),
                                       "private": b64(private_der(other))})

    out["oaep"] = []
    for n in (0, 1, 44, 214):
        pt = rnd(n)
        out["oaep"].append({"plaintext": b64(pt), "ciphertext": rsa_text(private_key.public_key().encrypt(pt, OAEP))})

    out["pss"] = []
    for text in (b"", b"hello", b'{"record":{"a":1,"b":"x"}}', rnd(1000)):
        out["pss"].append({"text": b64(text), "signature": rsa_text(private_key.sign(text, PSS, hashes.SHA512()))})

    out["hash_text"] = [{"text": b64(t), "hash": b64(hashlib.sha1(t).digest())}
                        for t in (b"", b"abc", b"V2-" + b"A" * 360, rnd(300))]
    out["sha256"] = [{"text": b64(t), "digest": b64(hashlib.sha256(t).digest())} for t in (b"", b"abc", rnd(300))]

    out["hmac"] = []
    for size in (1, 160, 224, 256, 384, 512):
        for key, data in ((b"", b"data"), (rnd(16), b""), (rnd(200), rnd(500))):
            out["hmac"].append({"size": size, "key": b64(key), "data": b64(data), "mac": b64(hmac_of(size, key, data))})

    out["pbkdf2"] = []
    for prf, password, salt, rounds, length in (("sha256", b"password", b"salt", 1, 32),
                                                ("sha256", b"", b"", 2, 16),
                                                ("sha256", rnd(40), rnd(16), 1000, 100),
                                                ("sha256", b"pw", b"SALTTEXT", PASSWORD_ROUNDS, 32),
                                                ("sha1", b"password", b"salt", 2, 20),
                                                ("sha1", rnd(10), rnd(10), 1000, 64)):
        out["pbkdf2"].append({"prf": prf, "password": b64(password), "salt": b64(salt), "rounds": rounds,
                              "length": length, "key": b64(hashlib.pbkdf2_hmac(prf, password, salt, rounds, length))})

    out["hash_password"] = []
    for size in (1, 160, 224, 256, 384, 512):
        length = hashlib.new(SHA_SIZES[size]).digest_size
        salt = rnd(length)
        out["hash_password"].append({"password": b64(b"secret"), "size": size, "rounds": 1000, "salt": b64(salt),
                                     "key": b64(pbkdf2_sha256(b"secret", salt, 1000, length))})

    out["session_keys"] = []
    for _ in range(2):
        session_key = b64(rnd(32))
        out["session_keys"].append({"session_key": session_key,
                                    "wrapped": rsa_text(private_key.public_key().encrypt(session_key.encode(), OAEP))})

    out["master_keys"] = []
    for master in (private_der(rsa.generate_private_key(public_exponent=65537, key_size=2048)), b"account password"):
        session_key = b64(rnd(32))
        head = rsa_text(private_key.public_key().encrypt(session_key.encode(), OAEP))
        out["master_keys"].append({"master_key": b64(master), "wrapped": head + "|" + v4(session_key, master, True)})

    out["sinfo_hash"] = []
    for sinfo_text, password in ((b"", b""), (b"0123456789abcdef0123456789abcdef", b"pw"), (rnd(20).hex().encode(), b"x")):
        out["sinfo_hash"].append({"sinfo": b64(sinfo_text), "password": b64(password),
                                  "hash": sinfo_hash(sinfo_text, password)})
    # One hash that must show the "/" replacement.
    while True:
        candidate = rnd(8).hex().encode()
        if "," in sinfo_hash(candidate, b"slash"):
            out["sinfo_hash"].append({"sinfo": b64(candidate), "password": b64(b"slash"),
                                      "hash": sinfo_hash(candidate, b"slash")})
            break

    out["sproxy"] = []
    sinfo_text = rnd(16).hex().encode()
    out["sproxy"].append({"ciphertext": v2(b"proxy pw", PASSWORD_ROUNDS, sinfo_text, False), "password": b64(b"proxy pw"),
                          "hash": sinfo_hash(sinfo_text, b"proxy pw")})
    return out


# ---------------------------------------------------------------- check

class Checker:
    def __init__(self):
        self.failures = []
        self.count = 0

    def expect(self, condition, what):
        self.count += 1
        if not condition:
            self.failures.append(what)

    def run(self, what, fn):
        try:
            fn()
        except Exception as error:  # a malformed text is a mismatch, not a crash of the check
            self.count += 1
            self.failures.append(f"{what}: {type(error).__name__}: {error}")


# Every form the library writes; a section missing from what it wrote is a mismatch, not a pass.
OUR_SECTIONS = ("aes_raw", "v6", "v5", "v2", "v3", "v4", "generated_keys", "oaep", "pss", "hash_text", "sha256",
                "hmac", "pbkdf2", "hash_password", "session_keys", "master_keys", "sinfo_hash")


def check(ours):
    c = Checker()
    for section in OUR_SECTIONS:
        c.expect(len(ours.get(section, [])) > 0, f"{section}: no values written")

    for i, v in enumerate(ours.get("aes_raw", [])):
        c.run(f"aes_raw[{i}]", lambda v=v, i=i: c.expect(
            cbc(unb64(v["key"]), unb64(v["iv"]), unb64(v["plaintext"]), True, v["padding"]) == unb64(v["ciphertext"]),
            f"aes_raw[{i}] ciphertext"))

    for form in ("v6", "v5"):
        for i, v in enumerate(ours.get(form, [])):
            def one(v=v, i=i, form=form):
                c.expect(v["text"].startswith(form.upper() + "-"), f"{form}[{i}] tag")
                c.expect(read_v6_v5(unb64(v["key"]), v["text"]) == unb64(v["plaintext"]), f"{form}[{i}] plaintext")
            c.run(f"{form}[{i}]", one)

    for i, v in enumerate(ours.get("v2", [])):
        def one(v=v, i=i):
            parts = v["text"].split("-")
            c.expect(parts[0] == "V2" and parts[2] == str(v["rounds"]), f"v2[{i}] tag and rounds")
            got = read_simple(v["text"], unb64(v["password"]), v["padding"])
            c.expect(got == unb64(v["plaintext"]), f"v2[{i}] ({v.get('writer')}) plaintext")
        c.run(f"v2[{i}]", one)

    for i, v in enumerate(ours.get("v3", [])):
        def one(v=v, i=i):
            c.expect(v["text"].split("-")[1] == str(v["key_id"]), f"v3[{i}] key number")
            c.expect(read_simple(v["text"], v["key"], v["padding"]) == unb64(v["plaintext"]), f"v3[{i}] plaintext")
        c.run(f"v3[{i}]", one)

    for i, v in enumerate(ours.get("v4", [])):
        def one(v=v, i=i):
            # V4 is deterministic: the text itself must be what the format gives.
            c.expect(v["text"] == v4(v["key"], unb64(v["plaintext"]), v["padding"]), f"v4[{i}] text")
        c.run(f"v4[{i}]", one)

    for i, v in enumerate(ours.get("generated_keys", [])):
        def one(v=v, i=i):
            c.expect(len(v["public"]) == 363, f"generated_keys[{i}] public key length")
            private_key = load_private(unb64(v["private"]))
            c.expect(private_der(private_key) == unb64(v["private"]), f"generated_keys[{i}] PKCS#1 DER private key")
            numbers = private_key.private_numbers().public_numbers
            c.expect(numbers.e == 65537 and private_key.key_size == 2048, f"generated_keys[{i}] 2048 bits, e 65537")
            c.expect(public_text(private_key.public_key()) == v["public"], f"generated_keys[{i}] public matches private")
        c.run(f"generated_keys[{i}]", one)

    for i, v in enumerate(ours.get("oaep", [])):
        def one(v=v, i=i):
            private_key = load_private(unb64(v["private"]))
            c.expect(private_key.decrypt(rsa_block(v["ciphertext"]), OAEP) == unb64(v["plaintext"]), f"oaep[{i}]")
        c.run(f"oaep[{i}]", one)

    for i, v in enumerate(ours.get("pss", [])):
        def one(v=v, i=i):
            load_public(v["public"]).verify(rsa_block(v["signature"]), unb64(v["text"]), PSS, hashes.SHA512())
            c.expect(True, f"pss[{i}]")
        c.run(f"pss[{i}]", one)

    for i, v in enumerate(ours.get("hash_text", [])):
        c.expect(v["hash"] == b64(hashlib.sha1(unb64(v["text"])).digest()), f"hash_text[{i}]")
    for i, v in enumerate(ours.get("sha256", [])):
        c.expect(unb64(v["digest"]) == hashlib.sha256(unb64(v["text"])).digest(), f"sha256[{i}]")
    for i, v in enumerate(ours.get("hmac", [])):
        c.expect(unb64(v["mac"]) == hmac_of(v["size"], unb64(v["key"]), unb64(v["data"])), f"hmac[{i}] size {v['size']}")
    for i, v in enumerate(ours.get("pbkdf2", [])):
        c.expect(unb64(v["key"]) == hashlib.pbkdf2_hmac(v["prf"], unb64(v["password"]), unb64(v["salt"]), v["rounds"],
                                                        v["length"]), f"pbkdf2[{i}] {v['prf']}")

    for i, v in enumerate(ours.get("hash_password", [])):
        def one(v=v, i=i):
            salt_text, key_text = v["result"].split("-")
            length = hashlib.new(SHA_SIZES[v["size"]]).digest_size
            salt = unb64(salt_text)
            c.expect(len(salt) == length, f"hash_password[{i}] salt length")
            c.expect(unb64(key_text) == pbkdf2_sha256(unb64(v["password"]), salt, v["rounds"], length),
                     f"hash_password[{i}] key")
        c.run(f"hash_password[{i}]", one)

    for i, v in enumerate(ours.get("session_keys", [])):
        def one(v=v, i=i):
            key = v["session_key"]
            c.expect(len(key) == 44 and key.endswith("=") and not key.endswith("==") and len(unb64(key)) == 32,
                     f"session_keys[{i}] shape")
            if "wrapped" in v:
                private_key = load_private(unb64(v["private"]))
                c.expect(private_key.decrypt(rsa_block(v["wrapped"]), OAEP) == key.encode(), f"session_keys[{i}] RSA form")
        c.run(f"session_keys[{i}]", one)

    for i, v in enumerate(ours.get("master_keys", [])):
        def one(v=v, i=i):
            head, body = v["wrapped"].split("|")
            private_key = load_private(unb64(v["private"]))
            session_key = private_key.decrypt(rsa_block(head), OAEP).decode()
            c.expect(len(session_key) == 44, f"master_keys[{i}] session key")
            c.expect(body == v4(session_key, unb64(v["master_key"]), True), f"master_keys[{i}] V4 body")
        c.run(f"master_keys[{i}]", one)

    for i, v in enumerate(ours.get("sinfo_hash", [])):
        c.expect(v["hash"] == sinfo_hash(unb64(v["sinfo"]), unb64(v["password"])), f"sinfo_hash[{i}]")

    for f in c.failures:
        print("MISMATCH:", f)
    print(f"checked {c.count} values, {len(c.failures)} mismatches")
    if c.count == 0:
        print("nothing to check")
        return 1
    return 1 if c.failures else 0


def main(argv):
    if len(argv) == 3 and argv[1] == "make":
        with open(argv[2], "w") as f:
            json.dump(make(), f, indent=1, sort_keys=True)
            f.write("\n")
        return 0
    if len(argv) == 3 and argv[1] == "check":
        with open(argv[2]) as f:
            return check(json.load(f))
    print(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
