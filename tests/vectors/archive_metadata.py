#!/usr/bin/env python3
"""Archive key metadata written and read with Python `cryptography`, independently of the client
library.

  archive_metadata.py make          prints a JSON set of metadata (archive_metadata.json holds one)
  archive_metadata.py check FILE    FILE holds a list of {"metadata", "password_hex", and "key" (the
                                    base64 key material of the asset form) or "group_private_der"
                                    (base64, the contingency form)}: prints one line per case, "ok"
                                    or what is wrong

Formats. Both forms are one JSON object, rendered compact (no whitespace), members in ascending
order of their names, non-ASCII characters as \\uXXXX escapes, followed by one line feed.
  asset form:        {"assets":[{"<key URN>:<key sequence>":"<cipher text>"}],
                      "homeServer":"<text, only when not empty>","owner":"<text>"}
  contingency form:  {"cgkey":{"ca":"<team URN>","keymaterial":"<RSA form of the password>"},
                      "homeServer":"<text, only when not empty>","owner":"<text, optional>"}
Cipher text: lower-case hex of a 16-byte IV followed by AES-CBC (PKCS #7) of the password under the
key material (base64 of 16, 24 or 32 bytes: AES-128/192/256). "V7-" in front: the password was the
caller's, encrypted NUL-padded to 32 bytes, and a reader cuts it at its first NUL; no prefix: the
password is used whole. The RSA form is "V2-" + base64(RSAES-OAEP, SHA-1, MGF1-SHA-1, no label).
"""
import base64
import json
import os
import sys

from cryptography.hazmat.primitives import padding as sympadding, serialization
from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import key_wrapping  # noqa: E402  (the RSA and master forms)


def render(metadata):
    return json.dumps(metadata, sort_keys=True, separators=(",", ":"), ensure_ascii=True) + "\n"


def asset_form(urn, sequence, cipher_text, home_server, owner):
    metadata = {"assets": [{"%s:%d" % (urn, sequence): cipher_text}], "owner": owner}
    if home_server:
        metadata["homeServer"] = home_server
    return render(metadata)


def contingency_form(ca, keymaterial, home_server, owner):
    metadata = {"cgkey": {"ca": ca, "keymaterial": keymaterial}}
    if owner is not None:
        metadata["owner"] = owner
    if home_server:
        metadata["homeServer"] = home_server
    return render(metadata)


def aes_cbc(key, iv, data, encrypt):
    cipher = Cipher(algorithms.AES(key), modes.CBC(iv))
    worker = cipher.encryptor() if encrypt else cipher.decryptor()
    return worker.update(data) + worker.finalize()


def cipher_text(key_b64, password, caller):
    if caller and len(password) < 32:
        password = password + b"\0" * (32 - len(password))
    padder = sympadding.PKCS7(128).padder()
    iv = os.urandom(16)
    body = aes_cbc(base64.b64decode(key_b64), iv, padder.update(password) + padder.finalize(), True)
    return ("V7-" if caller else "") + (iv + body).hex()


def open_cipher_text(key_b64, text):
    caller = text.startswith("V7-")
    digits = text[3:] if caller else text
    data = bytes.fromhex(digits)
    padded = aes_cbc(base64.b64decode(key_b64), data[:16], data[16:], False)
    unpadder = sympadding.PKCS7(128).unpadder()
    password = unpadder.update(padded) + unpadder.finalize()  # raises on a wrong key or damage
    return password.split(b"\0", 1)[0] if caller else password


def read(text):
    """The members of either form, with the problems found in its rendering."""
    problems = []
    if not text.endswith("\n") or text.endswith("\n\n"):
        problems.append("the text does not end with exactly one line feed")
    metadata = json.loads(text)
    if not isinstance(metadata, dict):
        return None, ["not an object"]
    allowed = {"assets", "cgkey", "homeServer", "owner"}
    if set(metadata) - allowed:
        problems.append("unexpected members %s" % sorted(set(metadata) - allowed))
    if "homeServer" in metadata and metadata["homeServer"] == "":
        problems.append("an empty homeServer is written")
    if "assets" in metadata:
        assets = metadata["assets"]
        if not (isinstance(assets, list) and len(assets) == 1 and isinstance(assets[0], dict) and len(assets[0]) == 1):
            return None, ["assets is not one object of one member"]
        name, value = next(iter(assets[0].items()))
        urn, _, sequence = name.rpartition(":")
        if "owner" not in metadata:
            problems.append("the asset form has no owner")
        again = asset_form(urn, int(sequence), value, metadata.get("homeServer", ""), metadata.get("owner", ""))
    else:
        cgkey = metadata["cgkey"]
        again = contingency_form(cgkey["ca"], cgkey["keymaterial"], metadata.get("homeServer", ""),
                                 metadata.get("owner"))
    if again != text:
        problems.append("not the reference rendering: %r" % again)
    return metadata, problems


def check(path):
    with open(path, encoding="utf-8") as f:
        cases = json.load(f)
    for case in cases:
        try:
            metadata, problems = read(case["metadata"])
            if metadata is not None and "assets" in metadata:
                value = next(iter(metadata["assets"][0].values()))
                digits = value[3:] if value.startswith("V7-") else value
                if digits != digits.lower():
                    problems.append("upper-case hex")
                if "digits" in case and len(digits) != case["digits"]:
                    problems.append("%d hex digits, not %d" % (len(digits), case["digits"]))
                if value.startswith("V7-") != case.get("caller", value.startswith("V7-")):
                    problems.append("the V7- prefix does not say who chose the password")
                password = open_cipher_text(case["key"], value)
            elif metadata is not None:
                group = serialization.load_der_private_key(base64.b64decode(case["group_private_der"]), None)
                tag, _, body = metadata["cgkey"]["keymaterial"].partition("-")
                if tag != "V2":
                    problems.append("the key material is not an RSA form")
                password = group.decrypt(base64.b64decode(body), key_wrapping.OAEP)
            else:
                password = None
            if password is not None and password.hex() != case["password_hex"]:
                problems.append("the password is %s" % password.hex())
        except Exception as failure:  # a case that cannot be read at all is reported, not raised
            problems = ["unreadable: %r" % failure]
        print("ok" if not problems else "; ".join(problems))


def make():
    user = key_wrapping.new_rsa()
    group = key_wrapping.new_rsa()
    group_private = key_wrapping.private_der(group)
    b64 = key_wrapping.b64
    assets = []
    for size, password, caller, home_server, owner in [
        (16, b"p", True, "", "urn:vx:user/owner"),
        (24, "\u00e4rchive pass".encode(), True, "https://home.example/mds", "urn:vx:user/owner"),
        (32, b"x" * 32, True, "", ""),
        (32, b"y" * 48, True, "https://home.example/mds", "urn:vx:user/owner"),
        (32, b"cut\0here", True, "", "urn:vx:user/\u00f6wner"),
        (32, key_wrapping.session_key().encode(), False, "", "urn:vx:user/owner"),
    ]:
        key = b64(os.urandom(size))
        text = cipher_text(key, password, caller)
        assets.append({
            "key": key,
            "urn": "file-key-%d" % (len(assets) + 1),
            "sequence": len(assets) + 1,
            "metadata": asset_form("file-key-%d" % (len(assets) + 1), len(assets) + 1, text, home_server, owner),
            "password_hex": (password.split(b"\0", 1)[0] if caller else password).hex(),
        })
    # Upper-case digits read the same.
    upper = dict(assets[0])
    name, value = next(iter(json.loads(upper["metadata"])["assets"][0].items()))
    upper["metadata"] = render({"assets": [{name: "V7-" + value[3:].upper()}], "owner": "urn:vx:user/owner"})
    assets.append(upper)
    contingency_password = "contingency \u00e9".encode()
    vectors = {
        "comment": "made by archive_metadata.py make",
        "user_private_der": b64(key_wrapping.private_der(user)),
        "user_public_key": key_wrapping.public_text(user),
        "group_private_der": b64(group_private),
        "group_public_key": key_wrapping.public_text(group),
        "assets": assets,
        "contingency": {
            "ca": "urn:vx:team/Seven",
            "cmk_keymaterial": key_wrapping.master_form(group_private, user),
            "metadata": contingency_form("urn:vx:team/Seven",
                                         "V2-" + b64(group.public_key().encrypt(contingency_password, key_wrapping.OAEP)),
                                         "https://home.example/mds", "urn:vx:user/owner"),
            "password_hex": contingency_password.hex(),
        },
    }
    print(json.dumps(vectors, indent=1))


if __name__ == "__main__":
    if sys.argv[1:2] == ["make"]:
        make()
        sys.exit(0)
    if sys.argv[1:2] == ["check"] and len(sys.argv) == 3:
        check(sys.argv[2])
        sys.exit(0)
    sys.exit(__doc__)
