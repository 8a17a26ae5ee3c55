#!/usr/bin/env python3
"""The persisted store's integrity manifest checked and written with Python `cryptography`,
independently of the client library (format: docs/store-format.md).

  store_manifest.py check STORE     STORE holds a stored list, a JSON array of [name, value] pairs:
                                    opens its manifest, checks its signature and every pair's digest,
                                    and prints {"ok": true, "session_key", "names": [...]} or
                                    {"ok": false, "error": text} (exit status 1)
  store_manifest.py write INPUT     INPUT holds {"pairs": [[name, value], ...], "session_key": optional}:
                                    prints the stored list of those pairs followed by its "m-" pair
  store_manifest.py vectors         prints fixed vectors (store_manifest.json holds one set)

The two fixed texts are read from the library's header sync/manifest_texts.h: byte i of a text is
byte i of its array XOR ((0x6B + 29 * i) mod 256).
"""
import base64
import hashlib
import hmac
import json
import os
import re
import sys

from cryptography.hazmat.primitives import padding as sympadding
from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes

HEADER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "Vorlane", "Metaclient", "vxmeta",
                      "sync", "manifest_texts.h")


def fixed_text(array_name):
    with open(HEADER, encoding="utf-8") as f:
        source = f.read()
    body = re.search(array_name + r"\[\]\s*=\s*\{([^}]*)\}", source).group(1)
    data = [int(x, 16) for x in re.findall(r"0x([0-9A-Fa-f]{2})", body)]
    return bytes(b ^ ((0x6B + 29 * i) & 0xFF) for i, b in enumerate(data))


WRAP_TEXT = fixed_text("wrapTextData")
ENTRY_TEXT = fixed_text("entryTextData")
WRAP_KEY = hashlib.sha256(WRAP_TEXT).digest()


def b64(data):
    return base64.b64encode(data).decode()


def compact(value):
    return json.dumps(value, separators=(",", ":"), sort_keys=True, ensure_ascii=True)


def v6_encrypt(key, plaintext, iv=None):
    iv = iv if iv is not None else os.urandom(16)
    padder = sympadding.PKCS7(128).padder()
    data = padder.update(plaintext) + padder.finalize()
    enc = Cipher(algorithms.AES(key), modes.CBC(iv)).encryptor()
    return "V6-" + b64(iv) + "-" + b64(enc.update(data) + enc.finalize())


def v6_decrypt(key, text):
    tag, iv, body = text.split("-")
    if tag != "V6":
        raise ValueError("not a V6 text")
    dec = Cipher(algorithms.AES(key), modes.CBC(base64.b64decode(iv))).decryptor()
    data = dec.update(base64.b64decode(body)) + dec.finalize()
    unpadder = sympadding.PKCS7(128).unpadder()
    return unpadder.update(data) + unpadder.finalize()


def entry_key(session_key):
    return hmac.new(ENTRY_TEXT, session_key.encode(), hashlib.sha256).digest()


def signature(key, version, e_text):
    return b64(hmac.new(key + version.encode(), e_text.encode(), hashlib.sha256).digest())


def digest(value):
    return b64(hashlib.sha256(value.encode()).digest())


def manifest_document(session_key, entries, a_iv=None, e_iv=None, plain=None):
    a = v6_encrypt(WRAP_KEY, session_key.encode(), a_iv)
    key = entry_key(session_key)
    if plain is None:
        plain = compact([{"a": name, "b": d} for name, d in entries])
    e = v6_encrypt(key, plain.encode(), e_iv)
    return compact({"a": a, "e": e, "s": signature(key, "1", e), "v": "1"})


def open_manifest(text):
    document = json.loads(text)
    if document.get("v") != "1":
        raise ValueError("unknown version")
    session_key = v6_decrypt(WRAP_KEY, document["a"]).decode()
    key = entry_key(session_key)
    if not hmac.compare_digest(signature(key, document["v"], document["e"]), document["s"]):
        raise ValueError("bad signature")
    entries = {}
    for item in json.loads(v6_decrypt(key, document["e"])):
        if not item.get("a") or not item.get("b"):
            raise ValueError("bad entry")
        entries[item["a"]] = item["b"]
    return session_key, entries


def check(pairs):
    manifests = [value for name, value in pairs if name == "m-"]
    if not pairs:
        return {"ok": True, "session_key": "", "names": []}
    if not manifests:
        return {"ok": False, "error": "Missing manifest"}
    try:
        session_key, entries = open_manifest(manifests[0])
    except Exception:  # any fault of the document
        return {"ok": False, "error": "Invalid metadata manifest"}
    seen = set()
    for name, value in pairs:
        if name.split("-", 1)[0] == "m":
            continue
        if name not in entries or name in seen or entries[name] != digest(value):
            return {"ok": False, "error": "Found invalid metadata (" + name + ")"}
        seen.add(name)
    if seen != set(entries):
        return {"ok": False, "error": "Missing metadata"}
    return {"ok": True, "session_key": session_key, "names": sorted(seen)}


def write(request):
    session_key = request.get("session_key") or b64(os.urandom(32))
    pairs = [[name, value] for name, value in request["pairs"]]
    entries = [(name, digest(value)) for name, value in pairs]
    return pairs + [["m-", manifest_document(session_key, entries)]]


def vectors():
    session_key = b64(bytes(range(32)))
    entries = [("persists-", digest('{"a":1}')), ("asset-urn:vx:asset,1", digest("x")), ("xstat-2026-01-31", digest(""))]
    return {
        "wrap_text": WRAP_TEXT.decode(),
        "entry_text": ENTRY_TEXT.decode(),
        "session_key": session_key,
        "entry_key_b64": b64(entry_key(session_key)),
        "digests": {"": digest(""), '{"a":1}': digest('{"a":1}'), "x": digest("x")},
        "entries": [[name, d] for name, d in entries],
        "document": manifest_document(session_key, entries, bytes(16), bytes(range(16))),
        "empty_document": manifest_document(session_key, [], bytes(16), bytes(range(16, 32))),
        # Signed documents whose entry list cannot be read.
        "bad_entry_documents": {
            why: manifest_document(session_key, [], bytes(16), bytes(16), plain)
            for why, plain in [
                ("entry without a", '[{"b":"LXEWQrcmsEQBYnyp+6wy9chTD7GQPMTbAiWHF5IaSIE="}]'),
                ("entry with empty b", '[{"a":"asset-x","b":""}]'),
                ("entry name a number", '[{"a":5,"b":"LXEWQrcmsEQBYnyp+6wy9chTD7GQPMTbAiWHF5IaSIE="}]'),
                ("entry not an object", '["asset-x"]'),
                ("list an object", '{"a":"asset-x","b":"LXEWQrcmsEQBYnyp+6wy9chTD7GQPMTbAiWHF5IaSIE="}'),
                ("list not JSON", "[{"),
            ]
        },
    }


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "check":
        with open(sys.argv[2], encoding="utf-8") as f:
            report = check(json.load(f))
        print(json.dumps(report))
        return 0 if report["ok"] else 1
    if len(sys.argv) == 3 and sys.argv[1] == "write":
        with open(sys.argv[2], encoding="utf-8") as f:
            print(json.dumps(write(json.load(f))))
        return 0
    if len(sys.argv) == 2 and sys.argv[1] == "vectors":
        print(json.dumps(vectors(), indent=1))
        return 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main())
