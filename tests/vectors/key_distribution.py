#!/usr/bin/python3
"""Checks, with Python `cryptography` alone, the keys that the reconciliation pass hands out:

  key_distribution.py check FILE

FILE is a JSON array of cases; each is one of

  {"kind": "session", "holder": {"privateKey", "wrapped"}, "recipient": {"privateKey", "wrapped"}}
      both wrapped session keys open with their private keys and are the same session key
  {"kind": "master", "privateKey", "wrapped", "publicKey", "record", "signature"}
      the wrapped master key opens with the private key to an RSA private key whose public key is
      "publicKey", and "signature" is that key's signature of the compact JSON text of "record"

Private keys are base64 DER (PKCS #1). Formats: a public key is "V2-" + base64 of DER PKCS #1; an RSA
text is "V2-" + base64 of RSAES-OAEP (SHA-1, MGF1-SHA-1, no label) of the text's bytes; the master form
is the RSA text of a session key (base64 of 32 bytes) "|" "V4-" base64(AES-256-CBC under the session
key, IV its first 16 bytes, PKCS #7 padding); a signature is "V2-" + base64 of RSASSA-PSS (SHA-512,
MGF1-SHA-512, salt 64 bytes). Prints "valid" or the first mismatch; exit status 0 when valid.
"""

import base64
import json
import sys

from cryptography.exceptions import InvalidSignature
from cryptography.hazmat.primitives import hashes, padding as sympadding, serialization
from cryptography.hazmat.primitives.asymmetric import padding
from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes


def private_key(text):
    return serialization.load_der_private_key(base64.b64decode(text), password=None)


def public_text(key):
    der = key.public_bytes(serialization.Encoding.DER, serialization.PublicFormat.PKCS1)
    return "V2-" + base64.b64encode(der).decode("ascii")


def open_rsa_text(key, text):
    tag, _, body = text.partition("-")
    if tag != "V2":
        raise ValueError("not an RSA text: " + text[:8])
    oaep = padding.OAEP(mgf=padding.MGF1(hashes.SHA1()), algorithm=hashes.SHA1(), label=None)
    return key.decrypt(base64.b64decode(body), oaep)


def open_master_form(key, text):
    wrapped, bar, aes = text.partition("|")
    tag, _, body = aes.partition("-")
    if not bar or tag != "V4":
        raise ValueError("not a master form")
    session = base64.b64decode(open_rsa_text(key, wrapped))
    worker = Cipher(algorithms.AES(session), modes.CBC(session[:16])).decryptor()
    plain = worker.update(base64.b64decode(body)) + worker.finalize()
    unpadder = sympadding.PKCS7(128).unpadder()
    return unpadder.update(plain) + unpadder.finalize()


def compact(value):
    return json.dumps(value, separators=(",", ":"), sort_keys=True)


def check_session(case):
    holder = open_rsa_text(private_key(case["holder"]["privateKey"]), case["holder"]["wrapped"])
    recipient = open_rsa_text(private_key(case["recipient"]["privateKey"]), case["recipient"]["wrapped"])
    if len(base64.b64decode(holder)) != 32:
        return "holder's session key is not 32 bytes"
    if holder != recipient:
        return "the recipient's session key differs"
    return None


def check_master(case):
    master = serialization.load_der_private_key(open_master_form(private_key(case["privateKey"]), case["wrapped"]),
                                                password=None)
    if public_text(master.public_key()) != case["publicKey"]:
        return "the master key is not the team's"
    tag, _, body = case["signature"].partition("-")
    if tag != "V2":
        return "signature tag"
    pss = padding.PSS(mgf=padding.MGF1(hashes.SHA512()), salt_length=64)
    try:
        master.public_key().verify(base64.b64decode(body), compact(case["record"]).encode("utf-8"), pss,
                                   hashes.SHA512())
    except InvalidSignature:
        return "signature does not verify"
    return None


def main():
    if len(sys.argv) != 3 or sys.argv[1] != "check":
        print(__doc__)
        return 2
    with open(sys.argv[2], encoding="utf-8") as f:
        cases = json.load(f)
    for number, case in enumerate(cases):
        problem = (check_session if case["kind"] == "session" else check_master)(case)
        if problem:
            print("case %d: %s" % (number, problem))
            return 1
    print("valid")
    return 0


if __name__ == "__main__":
    sys.exit(main())
