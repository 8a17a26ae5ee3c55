#!/usr/bin/env python3
"""Wrapped session keys made and opened with Python `cryptography`, independently of the client
library.

  key_wrapping.py make           prints a JSON set of wrapped keys (key_wrapping.json holds one)
  key_wrapping.py open FILE      FILE holds {"private_der", "personal_key", "keymaterial",
                                 "ckeymaterial"}: prints the session key opened from the RSA form
                                 and the one opened from the indirect form, one a line

Formats: a session key is 32 random bytes kept as their base64 text (44 characters).
  RSA form:      "V2-" + base64(RSAES-OAEP, SHA-1, MGF1-SHA-1, empty label, of the base64 text)
  indirect form: "V3-" + keysequence + "-" + base64(salt, 32 random bytes) + "-" + base64(AES-256-CBC
                 without padding of the 32 raw key bytes; key = the personal session key's bytes,
                 IV = salt[:16])
  master form:   RSA form of a fresh session key k, "|", "V4-" + base64(AES-256-CBC with PKCS #7
                 padding of the wrapped bytes; key = k's bytes, IV = k's first 16 bytes)
Public keys are "V2-" + base64 of the PKCS #1 RSAPublicKey DER, private keys PKCS #1 DER.
"""
import base64
import json
import os
import sys

from cryptography.hazmat.primitives import hashes, padding as sympadding, serialization
from cryptography.hazmat.primitives.asymmetric import padding, rsa
from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes

OAEP = padding.OAEP(mgf=padding.MGF1(hashes.SHA1()), algorithm=hashes.SHA1(), label=None)


def b64(data):
    return base64.b64encode(data).decode()


def new_rsa():
    return rsa.generate_private_key(public_exponent=65537, key_size=2048)


def private_der(key):
    return key.private_bytes(serialization.Encoding.DER, serialization.PrivateFormat.TraditionalOpenSSL,
                             serialization.NoEncryption())


def public_text(key):
    return "V2-" + b64(key.public_key().public_bytes(serialization.Encoding.DER, serialization.PublicFormat.PKCS1))


def session_key():
    return b64(os.urandom(32))


def rsa_form(text, key):
    return "V2-" + b64(key.public_key().encrypt(text.encode(), OAEP))


def rsa_open(form, key):
    tag, _, body = form.partition("-")
    assert tag == "V2"
    return key.decrypt(base64.b64decode(body), OAEP).decode()


def aes_cbc(key, iv, data, encrypt):
    cipher = Cipher(algorithms.AES(key), modes.CBC(iv))
    worker = cipher.encryptor() if encrypt else cipher.decryptor()
    return worker.update(data) + worker.finalize()


def indirect_form(secret, personal, keysequence):
    salt = os.urandom(32)
    ciphertext = aes_cbc(base64.b64decode(personal), salt[:16], base64.b64decode(secret), True)
    return "V3-%d-%s-%s" % (keysequence, b64(salt), b64(ciphertext))


def indirect_open(form, personal):
    tag, _, salt, ciphertext = form.split("-")
    assert tag == "V3"
    return b64(aes_cbc(base64.b64decode(personal), base64.b64decode(salt)[:16], base64.b64decode(ciphertext), False))


def master_form(secret_bytes, key):
    k = session_key()
    raw = base64.b64decode(k)
    padder = sympadding.PKCS7(128).padder()
    padded = padder.update(secret_bytes) + padder.finalize()
    return rsa_form(k, key) + "|V4-" + b64(aes_cbc(raw, raw[:16], padded, True))


def make():
    user = new_rsa()
    team_group = new_rsa()
    group_identity = new_rsa()
    personal = session_key()
    plain = session_key()
    for_team_group = session_key()
    for_group_identity = session_key()
    vectors = {
        "comment": "made by key_wrapping.py make",
        "user_private_der": b64(private_der(user)),
        "user_public_key": public_text(user),
        "personal_keysequence": 3,
        "personal_key": personal,
        "personal_keymaterial": rsa_form(personal, user),
        "session_key": plain,
        "rsa_form": rsa_form(plain, user),
        "indirect_form": indirect_form(plain, personal, 3),
        "master_secret": b64(private_der(group_identity)),
        "master_form": master_form(private_der(group_identity), user),
        "team_group_private_der": b64(private_der(team_group)),
        "team_group_session_key": for_team_group,
        "team_group_keymaterial": rsa_form(for_team_group, team_group),
        "group_owner_id": 77,
        "group_master_keymaterial": master_form(private_der(group_identity), user),
        "group_session_key": for_group_identity,
        "group_keymaterial": rsa_form(for_group_identity, group_identity),
    }
    print(json.dumps(vectors, indent=1))


def open_issued(path):
    with open(path, encoding="utf-8") as f:
        given = json.load(f)
    user = serialization.load_der_private_key(base64.b64decode(given["private_der"]), password=None)
    print(rsa_open(given["keymaterial"], user))
    print(indirect_open(given["ckeymaterial"], given["personal_key"]))


if __name__ == "__main__":
    if sys.argv[1:2] == ["make"]:
        make()
        sys.exit(0)
    if sys.argv[1:2] == ["open"] and len(sys.argv) == 3:
        open_issued(sys.argv[2])
        sys.exit(0)
    sys.exit(__doc__)
