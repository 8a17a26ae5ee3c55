#!/usr/bin/python3
"""Writes the seed corpus of the fuzz targets into corpus/<target>/: real forms of each input, the
AES and RSA ones made with Python `cryptography` or taken from tests/vectors/crypto_vectors.json,
the archives by the ZIP fixture writer (tests/zentile/fixtures/make_archives.py), the stored lists'
manifests by the store checker (tests/vectors/store_manifest.py).
Run it again after changing an input format, naming the targets to write (all without names);
fuzzing adds to copies in the build tree, not here."""

import base64
import hashlib
import json
import os
import shutil
import sys

from cryptography.hazmat.primitives import hashes, padding as sympadding, serialization
from cryptography.hazmat.primitives.asymmetric import padding, rsa
from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "zentile", "fixtures"))
sys.path.insert(0, os.path.join(HERE, "..", "vectors"))
import make_archives  # noqa: E402
import store_manifest  # noqa: E402

VECTORS = json.load(open(os.path.join(HERE, "..", "vectors", "crypto_vectors.json")))
PART = b"\x1f"
REPLY = b"\x1e"


def b64(data):
    return base64.b64encode(data).decode()


def write(target, seeds):
    folder = os.path.join(HERE, "corpus", target)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    for index, seed in enumerate(seeds):
        with open(os.path.join(folder, "seed-%02d" % index), "wb") as f:
            f.write(seed.encode() if isinstance(seed, str) else seed)


def v2_text(plaintext, password, rounds):
    """A "V2-" password text: PBKDF2-HMAC-SHA256 key, IV the first 16 bytes of the 32-byte salt."""
    salt = os.urandom(32)
    key = hashlib.pbkdf2_hmac("sha256", password, salt, rounds, 32)
    padder = sympadding.PKCS7(128).padder()
    data = padder.update(plaintext) + padder.finalize()
    encryptor = Cipher(algorithms.AES(key), modes.CBC(salt[:16])).encryptor()
    return "V2-%s-%d-%s" % (b64(salt), rounds, b64(encryptor.update(data) + encryptor.finalize()))


def json_seeds():
    return [
        '{"a":1,"b":[true,false,null],"c":{"d":"e"}}',
        '[1,-2,3.5,1e300,-0,18446744073709551615,9223372036854775807,-9223372036854775808]',
        '{"text":"\\u00e9\\ud83d\\ude00\\n\\"","empty":"","nested":[[[{}]]]}',
        '"just a text"',
        '// a comment\n{"x": /* inside */ 2}',
        '{"dup":1,"dup":2}',
        '{"ctag":"c1","members":[{"url":"https://a/","dc":"x"}]}',
    ]


def aes_seeds():
    seeds = []
    for entry in VECTORS["v6"][:4] + VECTORS["v5"][:3]:
        seeds.append(bytes([1]) + entry["key"].encode() + PART + entry["text"].encode())
        seeds.append(bytes([0]) + base64.b64decode(entry["key"]) + PART + entry["text"].encode())
    for entry in VECTORS["v4"][:3]:
        seeds.append(bytes([2]) + entry["key"].encode() + PART + entry["text"].encode())
    for entry in VECTORS["v3"][:2]:
        seeds.append(bytes([6]) + entry["key"].encode() + PART + entry["text"].encode())
    password = b"correct horse"
    seeds.append(bytes([3]) + password + PART + v2_text(b"private key bytes", password, 1000).encode())
    seeds.append(bytes([4]) + password + PART + v2_text(os.urandom(32), password, 20).encode())
    seeds.append(bytes([5]) + password + PART + v2_text(b"", password, 1).encode())
    seeds.append(bytes([7]) + password + PART + b"V9-upgrade-me")
    return seeds


def rsa_seeds():
    key = rsa.generate_private_key(public_exponent=65537, key_size=2048)
    public_der = key.public_key().public_bytes(serialization.Encoding.DER, serialization.PublicFormat.PKCS1)
    private_der = key.private_bytes(serialization.Encoding.DER, serialization.PrivateFormat.TraditionalOpenSSL,
                                    serialization.NoEncryption())
    public_text = "V2-" + b64(public_der)
    signature = key.sign(b"signed text", padding.PSS(mgf=padding.MGF1(hashes.SHA512()), salt_length=64),
                         hashes.SHA512())
    return [
        bytes([0]) + public_text.encode(),
        bytes([1]) + public_text.encode(),
        bytes([2]) + public_der,
        bytes([3]) + private_der,
        bytes([3]) + base64.b64decode(VECTORS["rsa_other_sizes"][0]["private"]),
        bytes([4]) + b"signed text" + PART + ("V2-" + b64(signature)).encode(),
        bytes([4]) + VECTORS["pss"][0].get("text", "").encode() + PART + VECTORS["pss"][0]["signature"].encode(),
        bytes([5]) + b"signed text" + PART + ("V2-" + b64(signature)).encode() + PART + public_text.encode(),
        bytes([6]) + VECTORS["oaep"][0]["ciphertext"].encode(),
    ]


def record_seeds():
    own = "urn:vx:user/own"
    bodies = [
        '[{"etag":5,"gtag":0,"ltag":0,"ctag":"c1","id":7}]',
        '{"id":"V2-loc","record":{"prikey":"V6-x","version":"V3","shash":"V2-loc","revision":1}}',
        '{"email":"e","other":[1],"urn":"u"}',
        '[{"id":4,"name":"Reader","platform_type":"Linux","upgrade_info":"none","version":"2.1","signature":"V2-s"}]',
        '{"deviceid":42,"id":8,"signature":"V2-s","record":{"device":"LIN-1","owner":"%s","name":"Reader",'
        '"version":"1.0","capabilities":["b","a"],"revision":1}}' % own,
        '[{"kind":2,"owning_team_id":7,"homeServer":"h","homeId":11,"id":12,"signature":"V2-s",'
        '"record":{"urn":"urn:vx:asset/1","revision":1}}]',
        '{"team_id":7,"id":3,"signature":"V2-s","record":{"participant":"%s","ca":"urn:ca","userstatus":"allow",'
        '"revision":1}}' % own,
        '[{"team_id":7,"kind":"ClientPolicy","name":"n","value":"{}","id":2}]',
        '{"remoteDirty":true,"originator":"x","verified":false,"id":1,"created_at":"c","updated_at":"u"}',
        '[]',
    ]
    # The first byte chooses the class; spread the bodies over the classes.
    return [bytes([(index * 7) % 32]) + body.encode() for index, body in enumerate(bodies)]


def reply(status, body, header="", error=""):
    return PART.join([str(status).encode(), header.encode(), body.encode(), error.encode()])


def reply_seeds():
    cluster = '{"ctag":"c1","members":[{"url":"https://fuzz.test/api/","dc":"a","master":true}]}'
    refusal = '{"Message":"%s","reason":"%s"}'
    runs = [
        (1, [reply(200, '{"ok":true}')]),
        (1, [reply(200, '[1,2]', header='{"ts":1}')]),
        (1, [reply(404, refusal % ("Not found", "Not Found"))]),
        (1, [reply(403, refusal % ("Needs MFA", "MFA Required"))]),
        (1, [reply(403, '{"Message":"m","reason":"Upgrade","url":"https://up/"}')]),
        (1, [reply(403, '{"Message":"m","reason":"Migration Required","email":"a@b.c"}')]),
        (1, [reply(403, refusal % ("Disabled", "Account Disabled"))]),
        (1, [reply(403, refusal % ("Device", "Device Disabled"))]),
        (1, [reply(403, refusal % ("Who", "Incorrect Credentials"))]),
        (1, [reply(401, "{}"), reply(200, '{"challenge":"c","loginRounds":10}'), reply(200, '{"ok":1}')]),
        (0, [reply(200, cluster), reply(200, '{"ok":1}')]),
        (0, [reply(200, '{"ctag":"c1","members":[]}'), reply(503, "", error="")]),
        (2, [reply(500, "<html>down</html>"), reply(0, "", error="Could not connect")]),
        (5, [reply(498, "{}"), reply(200, "{}")]),
        (1, [reply(200, "")]),
    ]
    return [bytes([mode]) + REPLY.join(replies) for mode, replies in runs]


# The password of the encrypted archives: the one the ZIP target's decryption delegate gives.
ZIP_PASSWORD = "fuzz-password"


def zip_seeds():
    tree = [{"name": "docs/", "folder": True}, {"name": "docs/a.txt", "text": "alpha\n" * 8},
            {"name": "docs/b.bin", "hex": "00ff10ee", "method": "stored"}, {"name": "caf\u00e9.txt", "text": "caf\u00e9\n"}]
    protected = [{"name": "trad.txt", "text": "traditional\n", "encryption": "traditional", "password": ZIP_PASSWORD,
                  "data_descriptor": True},
                 {"name": "plain.txt", "text": "plain\n", "data_descriptor": True}]
    descriptions = [
        {"entries": tree},
        {"entries": protected},
        {"entries": [{"name": "aes256.txt", "text": "aes 256\n", "encryption": "aes", "password": ZIP_PASSWORD}]},
        {"entries": [{"name": "aes128.txt", "text": "aes 128\n", "encryption": "aes", "aes_strength": 128,
                      "password": ZIP_PASSWORD}]},
        {"entries": [{"name": "legacy\u00e9.txt", "text": "legacy\n", "legacy_name": True},
                     {"name": "sub/link", "symlink": "../legacy\u00e9.txt"}]},
    ]
    seeds = [make_archives.build_archive(d) for d in descriptions]
    for kind in ("traversal", "symlink", "huge", "truncated-data"):
        seeds.append(make_archives.hostile_archive(kind, ".."))
    return seeds


def stored_pair(name, value):
    return name.encode() + PART + value.encode()


def store_seeds():
    """Stored lists: the first byte odd asks the target to write the manifest, even keeps the list's own."""
    own = "urn:vx:user/own"
    records = [
        ("persists-", '{"clusterInfo":{"ctag":"c1","members":[{"url":"https://a.test/","dc":"dc1"}]},'
                      '"lastOnlineTime":1700000000,"mdsPubkey":"","originator":false,"pollingInterval":90,'
                      '"remoteDirty":true,"setPrefix":""}'),
        ("pid-urn:vx:user,own", '{"created_at":"","forwarding_urn":"","id":0,"originator":false,"record":{"email":'
                                '"own@example.com","name":"","pubkey":"","revision":1,"urn":"%s"},"remoteDirty":false,'
                                '"signature":"","updated_at":""}' % own),
        ("sid-V2-sid", '{"id":"","originator":false,"record":{"prikey":"V1-secret","revision":1,"shash":"V2-sid",'
                       '"version":""},"remoteDirty":false}'),
        ("user-urn:vx:user,own", '{"dataCenter":"dc1","homeServer":"https://home.example","originator":false,'
                                 '"owner":"%s","record":{"revision":1},"remoteDirty":false,"signature":""}' % own),
        ("device-LIN-device", '{"allow_access":true,"id":4,"originator":false,"record":{"name":"","owner":"",'
                              '"revision":1,"urn":"LIN-device"},"remoteDirty":false,"signature":""}'),
        ("xpid-urn:vx:user,other", '{"id":0,"kind":0,"originator":false,"record":{"email":"other@example.com",'
                                   '"revision":1,"urn":"urn:vx:user/other"},"remoteDirty":true,"signature":""}'),
        ("asset-urn:vx:asset,1", '{"compatibility":"","id":0,"originator":false,"record":{"name":"Key","owner":'
                                 '"%s","revision":1,"urn":"urn:vx:asset/1"},"remoteDirty":true,"signature":""}' % own),
        ("assetright-urn:vx:asset,1-urn:vx:user,other",
         '{"id":0,"originator":false,"record":{"access":"allow","asset":"urn:vx:asset/1","owner":"","participant":'
         '"urn:vx:user/other","revision":1},"remoteDirty":true,"signature":""}'),
        ("assetkey-urn:vx:asset,1-urn:vx:user,own-1",
         '{"allowed":false,"id":0,"originator":false,"record":{"asset":"urn:vx:asset/1","keymaterial":"V2-wrapped",'
         '"keysequence":1,"owner":"","participant":"%s","revision":1},"remoteDirty":true,"signature":""}' % own),
        ("appdata-settings-layout-0", '{"deviceid":0,"id":0,"originator":false,"record":{"kind":"settings","name":'
                                      '"layout","owner":"%s","revision":1,"value":"{}"},"remoteDirty":true,'
                                      '"signature":""}' % own),
        ("appdata-settings-orphan-0", '{"id":0,"originator":false,"record":{"kind":"settings","name":"orphan",'
                                      '"owner":"","revision":1,"value":"{}"},"remoteDirty":true,"signature":""}'),
        ("xstat-2026-01-31", '[{"kind":"open","value":3},{"kind":"extract","qualifier":"zip","value":1}]\n'),
        ("toopherpair-x", '{}'),
        ("unknownstem-x", '{"a":1}'),
    ]
    seeds = []
    for start in range(0, len(records), 4):
        chosen = records[start:start + 4]
        seeds.append(bytes([1]) + REPLY.join(stored_pair(n, v) for n, v in chosen))
    seeds.append(bytes([1]) + REPLY.join(stored_pair(n, v) for n, v in records))
    for chosen in (records[:3], records[5:9], records):
        stored = store_manifest.write({"pairs": [list(r) for r in chosen]})
        seeds.append(bytes([0]) + REPLY.join(stored_pair(n, v) for n, v in stored))
    # Stored faults: no manifest, a pair twice, an altered value under a real manifest.
    seeds.append(bytes([0]) + stored_pair(*records[0]))
    seeds.append(bytes([1]) + REPLY.join(stored_pair(*records[1]) for _ in range(2)))
    stored = store_manifest.write({"pairs": [list(r) for r in records[:2]]})
    stored[0][1] = stored[0][1].replace("1700000000", "1700000001")
    seeds.append(bytes([0]) + REPLY.join(stored_pair(n, v) for n, v in stored))
    seeds.append(bytes([0]))
    return seeds


def archive_metadata_seeds():
    vectors = json.load(open(os.path.join(HERE, "..", "vectors", "archive_metadata.json")))
    seeds = [case["metadata"] for case in vectors["assets"][:3]] + [vectors["contingency"]["metadata"]]
    return seeds + [
        "file-key-1:7",
        "file-key-1::7",
        '{"assets":[{"file-key-1:1":["V7-00"]}]}',
        '{"cgkey":{"ca":"","keymaterial":"k"},"owner":7}',
        "00ffA0b1",
        "0g",
        "file-key-1:7:9",
        '{"owner":{"a":1},"assets":[{"file-key-1:1":"V7-00"}]}',
        '{"homeServer":7,"cgkey":{"ca":"t","keymaterial":"k"}}',
        '{"cgkey":{"ca":{},"keymaterial":"k"}}',
        '{"assets":[{"file-key-9:1":"V7-00","file-key-1:1":"V7-' + "AB" * 64 + '"}]}',
    ]


def policy_seeds():
    """Policy value, password, contingency value, policy kind, contingency name (kPart between)."""
    rules = ('{"pwd_chk": true, "pwd_min": 8, "pwd_max": 64, "pwd_rep": 2, "pwd_l_min": 1, "pwd_l_pos": 1,'
             ' "pwd_u_min": 2, "pwd_u_pos": 2, "pwd_d_min": 3, "pwd_d_pos": 1, "pwd_s_min": 1, "pwd_s_pos": "1"}')
    key = '{"data":"AQID\\nBAUG","type":"x509"}'
    seeds = [
        (rules, "Ab1C.de23Fg", "", "", ""),
        (rules, "aab\u00e9\U0001F600\n1", "", "", ""),
        ('{"pwd_chk": 1, "pwd_min": 1, "pwd_rep": 1, "pwd_s_min": 1, "pwd_s_pos": 2}', "\udcffab", "", "", ""),
        ('{"zip_crypt": 2, "zip_crypt_pwd": 0, "zip_crypt_skey": 1, "zip_sign": 7, "zip_create": false}', "", "", "", ""),
        ('{"cert_id": "K1,K2", "zip_crypt": 1.0}', "", key, "", ""),
        ('{"cert_id": "\u00e9d"}', "", '{"data":"BAUG","type":"PGP"}', "SATELLITE p\u00f3licy", "\u00e9" * 7 + "\u00e9d"),
        ("[1]", "x", '{"data":"AQ==","type":"pgp"}', "Satellite Policy Contingency", "cert_id"),
        ("", "", "", "MFAPolicy", ""),
    ]
    return [PART.join(part.encode("utf-8", "surrogateescape") if isinstance(part, str) else part
                      for part in seed) for seed in seeds]


def canonical(value):
    return json.dumps(value, separators=(",", ":"), sort_keys=True, ensure_ascii=True)


def directory_seeds():
    """Mode byte, then reply body and asked addresses (kPart between); identities self-signed."""
    pss = padding.PSS(mgf=padding.MGF1(hashes.SHA512()), salt_length=64)

    def identity(email, ident):
        key = rsa.generate_private_key(public_exponent=65537, key_size=2048)
        public_der = key.public_key().public_bytes(serialization.Encoding.DER, serialization.PublicFormat.PKCS1)
        record = {"urn": "urn:vx:xpid/%d" % ident, "name": "User %d" % ident, "email": email,
                  "pubkey": "V2-" + b64(public_der), "url": ""}
        signature = "V2-" + b64(key.sign(canonical(record).encode(), pss, hashes.SHA512()))
        return {"id": ident, "signature": signature, "record": record}

    a = identity("a@example.test", 1)
    b = identity("b@example.test", 2)
    forged = json.loads(json.dumps(b))
    forged["record"]["name"] = "Mallory"
    results = {"results": [{"email": "a@example.test", "xpids": [a]}, {"email": "b@example.test", "xpids": None},
                           {"email": "c@example.test", "xpids": [forged, 7]}]}
    seeds = [
        (0, canonical([a, b, a]), "a@example.test,b@example.test"),
        (0, "[]", ""),
        (0, '{"id":3}', "x@y.z"),
        (1, canonical(results), "a@example.test,b@example.test,d@example.test"),
        (1 | 4 * 1, canonical(results), "a@example.test,b@example.test"),
        (1, '{"results":{"email":"a@example.test"}}', ""),
        (1, '{"results":[{"email":7}]}', ""),
        (1, '{"results":[{"email":"a@example.test","xpids":{}}]}', ""),
        (3, '{"results":[],"signature":"V2-AAAA"}', ""),
        (3, '{"results":[]}', ""),
        (1, "[1]", ""),
    ]
    return [bytes([mode]) + body.encode() + PART + emails.encode() for mode, body, emails in seeds]


def audit_seeds():
    """Settings byte, event limit, byte limit, then the host's lines (kPart between)."""
    runs = [
        ['{"category":"step","action":"Add","archive":"plain.zip","item":"a.txt"}',
         '{"category":"step","action":"Copy","archive":"c.zip","encryption":{"method":"AES"}}',
         '{"category":"step","action":"Add","archive":"s.zip","item":"b.txt","encryption":{"method":"AES"}}'],
        ['{"category":"step"}', '{"category":"step","encryption":{"method":"AES"}}',
         '{"category":"step","action":"Delete","status":{"level":"WARNING","code":0,"description":"gone"}}',
         '{"category":"step","action":"Update","status":{"level":"error","code":4,"description":"failed"}}'],
        ['{"category":"begin","archive":"ctx.zip","timestamp":"t0","operator":"op"}',
         '{"category":"step","action":"Add","archive":"ctx.zip","timestamp":"t0","item":"x"}',
         '{"category":"begin","archive":"inner.zip"}', '{"category":"step","action":"Add","item":"y"}',
         '{"category":"end"}', '{"category":"step","action":"Add","archive":"other.zip","item":"z"}',
         '{"category":"end"}', ""],
        ['{"category":"step","action":"Add","encryption":{"kms":{"data":"{\\"assets\\":[]}"}},"policy":{"id":3}}',
         '{"category":{"x":1}}', '{"category":"step","status":"fine"}', '{"category":"step","policy":[1]}',
         '{"category":"step","action":5}', '{"category":"step","status":{"level":"error","code":"x"}}'],
        ['{"category":"step","action":"Add","item":"%s"}' % ("x" * 400)] * 3,
    ]
    seeds = []
    for index, lines in enumerate(runs):
        for settings, entries, size in ((0, 3, 40), (7, 1, 2), (1, 0, 255)):
            seeds.append(bytes([settings ^ index, entries, size]) + PART.join(line.encode() for line in lines))
    return seeds


TARGETS = {
    "json_readers": json_seeds,
    "aes_texts": aes_seeds,
    "rsa_readers": rsa_seeds,
    "record_decode": record_seeds,
    "reply_rules": reply_seeds,
    "zip_archive": zip_seeds,
    "persisted_store": store_seeds,
    "archive_metadata": archive_metadata_seeds,
    "policy_model": policy_seeds,
    "directory_replies": directory_seeds,
    "audit_lines": audit_seeds,
}


if __name__ == "__main__":
    for target in sys.argv[1:] or TARGETS:
        write(target, TARGETS[target]())
