#!/usr/bin/env python3
"""Signed identity records (the "pid" record of the key service), made and checked with Python
`cryptography`, independently of the client library.

  signed_identity.py make            prints the server form of a new signed identity record
  signed_identity.py verify FILE     checks the signed identity record in FILE (its server form);
                                     prints "valid" and exits 0, or prints "invalid" and exits 1

Formats: the signed text is the compact JSON of the "record" object (members in ascending byte
order of their names, no whitespace, non-ASCII as lower-case \\uXXXX escapes, DEL and "/" raw);
the signature is RSASSA-PSS with SHA-512, MGF1-SHA-512 and a 64-byte salt, written "V2-" + base64;
the public key is "V2-" + base64 of the PKCS #1 RSAPublicKey DER.
"""
import base64
import json
import sys

from cryptography.exceptions import InvalidSignature
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import padding, rsa

PSS = padding.PSS(mgf=padding.MGF1(hashes.SHA512()), salt_length=64)


def canonical(value):
    text = json.dumps(value, separators=(",", ":"), sort_keys=True, ensure_ascii=True)
    return text.replace("\\u007f", "\x7f")


def public_key_text(public_key):
    der = public_key.public_bytes(serialization.Encoding.DER, serialization.PublicFormat.PKCS1)
    return "V2-" + base64.b64encode(der).decode()


def sign(private_key, text):
    return "V2-" + base64.b64encode(private_key.sign(text.encode(), PSS, hashes.SHA512())).decode()


def verify(public_key_text_, text, signature):
    parts = signature.split("-")
    if len(parts) != 2 or parts[0] != "V2" or not public_key_text_.startswith("V2-"):
        return False
    key = serialization.load_der_public_key(base64.b64decode(public_key_text_[3:]))
    try:
        key.verify(base64.b64decode(parts[1]), text.encode(), PSS, hashes.SHA512())
        return True
    except InvalidSignature:
        return False


def make():
    key = rsa.generate_private_key(public_exponent=65537, key_size=2048)
    record = {
        "urn": "urn:vx:user/zo\u00eb-42",
        "name": "Zo\u00eb Quinn / \u007f \U0001f600",
        "email": "zoe@example.test",
        "pubkey": public_key_text(key.public_key()),
        "url": "https://id.example.test/zoe",
        "revision": 3,
    }
    form = {"id": 42, "record": record, "signature": sign(key, canonical(record))}
    print(json.dumps(form))


def check(path):
    with open(path, encoding="utf-8") as f:
        form = json.load(f)
    record = form["record"]
    ok = verify(record.get("pubkey", ""), canonical(record), form.get("signature", ""))
    print("valid" if ok else "invalid")
    return 0 if ok else 1


if __name__ == "__main__":
    if sys.argv[1:2] == ["make"]:
        make()
        sys.exit(0)
    if sys.argv[1:2] == ["verify"] and len(sys.argv) == 3:
        sys.exit(check(sys.argv[2]))
    sys.exit(__doc__)
