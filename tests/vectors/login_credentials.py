#!/usr/bin/env python3
"""Login credentials of password accounts, made and checked with Python `cryptography` and the
standard library, independently of the client library (the formats are those the test key service
uses, tests/keyservice/kslib/credentials.py).

  login_credentials.py make                     prints the vectors (login_credentials.json)
  login_credentials.py check-hash TOKEN URN HASH
                                                checks a login token hash made for the base64 login
                                                token and the URN; prints "valid" and exits 0, or
                                                prints "invalid" and exits 1
"""
import base64
import json
import os
import sys

from cryptography.hazmat.primitives.asymmetric import rsa

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "keyservice"))
from kslib import credentials  # noqa: E402 (after the path is set)

CASES = [
    # password, salt (base64 of 16 bytes, used as text), rounds, URN
    ("correct horse battery staple", "c2FsdHNhbHRzYWx0c2FsdA==", 1000, "urn:vx:user/alice"),
    ("p\u00e4ssw\u00f6rd \u2603", "AAECAwQFBgcICQoLDA0ODw==", 50000, "urn:vx:user/b\u00f6b"),
    ("x", "/+/+/+/+/+/+/+/+/+/+/w==", 1, "urn:vx:user/c,d"),
]


def make():
    cases = []
    for password, salt, rounds, urn in CASES:
        key = credentials.derived_key(password, salt, rounds)
        token = credentials.login_token(password, salt, rounds)
        nonce = credentials.b64(bytes(range(16)))
        cases.append({"password": password, "salt": salt, "rounds": rounds, "urn": urn,
                      "key": credentials.b64(key), "token": token,
                      "nonce": nonce, "tokenHash": credentials.token_hash(token, urn, nonce)})
    password, salt, rounds, _ = CASES[0]
    derived = credentials.derived_key(password, salt, rounds)
    private_key = rsa.generate_private_key(public_exponent=65537, key_size=2048)
    der = credentials.private_key_der(private_key)
    seed = os.urandom(32)
    wrapped = {
        "case": 0,
        "privateKey": credentials.b64(der),
        "v6": credentials.aes_text(derived, der, True),
        "v2": credentials.password_text(password, der, 2000),
        "sidLocator": credentials.aes_text(derived, seed, False),
        "shash": credentials.sid_hash(derived, seed),
    }
    print(json.dumps({"cases": cases, "wrapped": wrapped}, indent=2, ensure_ascii=True))


def check_hash(token, urn, text):
    ok = credentials.token_hash_valid(token, urn, text)
    print("valid" if ok else "invalid")
    return 0 if ok else 1


def main(argv):
    if len(argv) == 2 and argv[1] == "make":
        make()
        return 0
    if len(argv) == 5 and argv[1] == "check-hash":
        return check_hash(argv[2], argv[3], argv[4])
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
