#!/usr/bin/python3
"""Checks, with Python `cryptography` alone, the key material of a new account that the library made:

  account_material.py check FILE

FILE is a JSON object {"password", "urn", "pubkey", "loginSalt", "loginRounds", "sidLocator", "shash",
"prikey"}: K = PBKDF2-HMAC-SHA256(password, salt text, rounds, 32); the locator is a "V5-" text (AES-CBC
under K, no padding) of a 32-byte seed; the SID hash is "V2-" + base64(HMAC-SHA256(K, seed)) with "/"
written ","; the private key is a "V6-" text (PKCS #7) under K of a DER PKCS #1 RSA private key whose
public key, as "V2-" + base64 of DER PKCS #1, is "pubkey"; an URN made from the key is the key text's
SHA-1 in base64 with "/" written ",". Prints "valid" or the first mismatch; exit status 0 when valid.
"""

import base64
import hashlib
import hmac
import json
import sys

from cryptography.hazmat.primitives import padding, serialization
from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes


def b64(data):
    return base64.b64encode(data).decode("ascii")


def open_text(key, text):
    tag, iv, body = text.split("-")
    worker = Cipher(algorithms.AES(key), modes.CBC(base64.b64decode(iv))).decryptor()
    plain = worker.update(base64.b64decode(body)) + worker.finalize()
    if tag == "V6":
        unpadder = padding.PKCS7(128).unpadder()
        plain = unpadder.update(plain) + unpadder.finalize()
    elif tag != "V5":
        raise ValueError("unexpected tag " + tag)
    return plain


def check(material):
    key = hashlib.pbkdf2_hmac("sha256", material["password"].encode("utf-8"), material["loginSalt"].encode("utf-8"),
                              material["loginRounds"], 32)
    if material["loginRounds"] != 50000:
        return "rounds"
    if len(base64.b64decode(material["loginSalt"])) != 16:
        return "salt"
    seed = open_text(key, material["sidLocator"])
    if not material["sidLocator"].startswith("V5-") or len(seed) != 32:
        return "sidLocator"
    shash = "V2-" + b64(hmac.new(key, seed, hashlib.sha256).digest()).replace("/", ",")
    if shash != material["shash"]:
        return "shash"
    if not material["prikey"].startswith("V6-"):
        return "prikey tag"
    private_key = serialization.load_der_private_key(open_text(key, material["prikey"]), password=None)
    public_der = private_key.public_key().public_bytes(serialization.Encoding.DER, serialization.PublicFormat.PKCS1)
    if "V2-" + b64(public_der) != material["pubkey"]:
        return "pubkey"
    if private_key.key_size != 2048 or private_key.public_key().public_numbers().e != 65537:
        return "key size"
    derived_urn = b64(hashlib.sha1(material["pubkey"].encode("ascii")).digest()).replace("/", ",")
    if material.get("derivedUrn") and material["urn"] != derived_urn:
        return "urn"
    return "valid"


def main(argv):
    if len(argv) != 2 or argv[0] != "check":
        sys.stderr.write(__doc__)
        return 2
    with open(argv[1]) as f:
        verdict = check(json.load(f))
    print(verdict)
    return 0 if verdict == "valid" else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
